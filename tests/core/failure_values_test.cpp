// The tests' failure-value table (support/failure_values.h) against the
// public header: every exported function that takes a window handle has its
// row there, so that a function added to the header cannot be left out of
// the checks on handles that name no window.
#include "failure_values.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>
#include <string>

using namespace kivtest;

namespace {

// The exported functions that take no window handle.
const std::set<std::string> withoutHandle = {"kiv_webview_init", "kiv_webview_create",
    "kiv_webview_process_events", "kiv_webview_destroy_event", "kiv_webview_destroy_js_result"};

// The header's text with each of its comments replaced by a space.
std::string declarationsOf(const std::string &header)
{
    std::string out;
    for (size_t at = 0; at < header.size();) {
        if (header.compare(at, 2, "/*") == 0) {
            const size_t close = header.find("*/", at + 2);
            at = close == std::string::npos ? header.size() : close + 2;
            out += ' ';
        } else if (header.compare(at, 2, "//") == 0) {
            at = header.find('\n', at);
            out += ' ';
        } else {
            out += header[at++];
        }
    }
    return out;
}

size_t occurrences(const std::string &text, const std::string &word)
{
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(FailureValues, TheTableHasEveryFunctionOfTheHeaderThatTakesAHandle)
{
    const std::string header
        = declarationsOf(readFile(sourceDir() + "/../library/include/kivwebview_qt.h"));
    ASSERT_NE(header.find("kiv_webview_set_url"), std::string::npos) << "header not read";

    // KIVWEBVIEW_EXPORT, the return type, the name and the parameters.
    const std::regex declaration(
        R"(KIVWEBVIEW_EXPORT\s+[^;(]*\b(kiv_webview_\w+)\s*\(([^)]*)\)\s*;)");
    const std::regex handleFirst(R"(^\s*int\s+wv\b)");
    std::set<std::string> takingHandle, others;
    size_t declarations = 0;
    for (std::sregex_iterator it(header.begin(), header.end(), declaration), end; it != end; ++it) {
        ++declarations;
        const std::string name = (*it)[1];
        const std::string parameters = (*it)[2];
        (std::regex_search(parameters, handleFirst) ? takingHandle : others).insert(name);
    }
    // The pattern read every exported declaration.
    EXPECT_EQ(declarations, occurrences(header, "KIVWEBVIEW_EXPORT"));
    EXPECT_EQ(declarations, takingHandle.size() + others.size()) << "a name declared twice";

    std::set<std::string> inTable;
    for (const HandleCall &row : handleCalls())
        inTable.insert(row.function);
    EXPECT_EQ(inTable.size(), handleCalls().size()) << "a function has two rows";
    EXPECT_EQ(inTable, takingHandle)
        << "support/failure_values.cpp needs a row for each function that takes a handle";
    EXPECT_EQ(others, withoutHandle)
        << "an exported function that takes no handle named wv: a handle under another "
           "name needs its row in support/failure_values.cpp, anything else goes in "
           "withoutHandle here";
}

// The checks can fail: on an open window the functions succeed. A dialog
// that opens is cancelled after the checks' bound, and said so.
TEST(FailureValues, TheChecksFailWhereAFunctionSucceeds)
{
    const int wv = createWindowWithHtml("<p>open</p>");
    const testing::AssertionResult title = callFails("kiv_webview_set_title", wv);
    EXPECT_FALSE(title);
    EXPECT_NE(
        std::string(title.message()).find("kiv_webview_set_title gave 0 oke"), std::string::npos)
        << title.message();

    const auto start = std::chrono::steady_clock::now();
    const testing::AssertionResult dialog = callFails("kiv_webview_choose_dir", wv);
    EXPECT_FALSE(dialog);
    EXPECT_NE(std::string(dialog.message()).find("showed a dialog, cancelled"), std::string::npos)
        << dialog.message();
    EXPECT_LT(msSince(start), 30000);

    EXPECT_FALSE(callFails("kiv_webview_no_such_function", wv));
    EXPECT_TRUE(kiv_webview_valid(wv));
}
