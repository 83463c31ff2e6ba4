// What the tests ask of pages: the items and loads they reported, and
// their render processes.
#ifndef KIVWEBVIEW_PAGE_QUERIES_H
#define KIVWEBVIEW_PAGE_QUERIES_H

#include <string>
#include <vector>

namespace kivtest {

// The "js-evt" member texts the page of wv has sent so far, in arrival order
// (each as the compact JSON of the item).
std::vector<std::string> itemsOf(int wv);

// The whole texts of the "js-evt" events of wv, in arrival order.
std::vector<std::string> pageEventTexts(int wv);

// The texts of the "page-loaded" events of wv, in arrival order.
std::vector<std::string> loadTexts(int wv);

// The process id of the render process that shows the page of the window
// titled title, or 0 (asked from the web engine in this process).
long long renderProcessOf(const std::string &title);

// The command line of a process, its arguments separated by spaces.
std::string commandLineOf(long long pid);

// The parent process id of a process, or 0.
long long parentOf(long long pid);

// True while a process exists and has not ended (a zombie counts as ended).
bool processRunning(long long pid);

} // namespace kivtest

#endif // KIVWEBVIEW_PAGE_QUERIES_H
