#include "quiet_output.h"

#include <QLoggingCategory>
#include <QtGlobal>

char webEngineQuietArguments[][24] = {"--webEngineArgs", "--disable-logging", "--log-level=3"};

namespace {

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) { }

} // namespace

void silenceToolkitMessages()
{
    // Disabled categories cost nothing (the engine's start-up report is not
    // even put together); the handler takes whatever is still sent.
    QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
    qInstallMessageHandler(dropMessage);
}
