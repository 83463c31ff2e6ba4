// Keeping the toolkit's and the web engine's messages out of the host's
// standard output and standard error.
#ifndef KIVWEBVIEW_QUIET_OUTPUT_H
#define KIVWEBVIEW_QUIET_OUTPUT_H

// The arguments that follow the application's name on the command line the
// library gives the application object it makes: the web engine reads its
// own switches after "--webEngineArgs", and these turn its log off.
extern char webEngineQuietArguments[][24];
constexpr int webEngineQuietArgumentCount = 3;

// Drops every message of the toolkit (its start-up report, warnings, the
// pages' console messages) instead of printing it. Only for an application
// object the library makes itself: a host that made its own keeps its own
// settings.
void silenceToolkitMessages();

#endif // KIVWEBVIEW_QUIET_OUTPUT_H
