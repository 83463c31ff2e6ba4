#include "failure_values.h"

#include "dialog_guard.h"

#include <QCoreApplication>
#include <QThread>

#include <optional>
#include <sstream>

#ifndef EXPECT_WINDOWS_CODES
#error "EXPECT_WINDOWS_CODES: 1 for the Windows failure codes, 0 for the others"
#endif

namespace kivtest {

namespace {

#if EXPECT_WINDOWS_CODES
constexpr result_t setHtmlFailure = set_url_failed;
constexpr result_t windowActionFailure = resize_window_failed;
#else
constexpr result_t setHtmlFailure = set_html_failed;
constexpr result_t windowActionFailure = window_action_failed;
#endif

const char *codeName(int code)
{
    switch (code) {
    case oke:
        return "oke";
    case set_html_failed:
        return "set_html_failed";
    case set_url_failed:
        return "set_url_failed";
    case eval_js_failed:
        return "eval_js_failed";
    case move_window_failed:
        return "move_window_failed";
    case resize_window_failed:
        return "resize_window_failed";
    case dialog_failed:
        return "dialog_failed";
    case window_action_failed:
        return "window_action_failed";
    }
    return "(no such code)";
}

Outcome failingRecord(result_t code)
{
    return {Outcome::record, code, "false"};
}

bool onLibraryThread()
{
    return QCoreApplication::instance()
        && QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Runs one row on wv; empty when it gave its failure value, else what it
// gave instead.
std::optional<std::string> runRow(const HandleCall &row, int wv, const Outcome &expected)
{
    std::optional<DialogGuard> guard;
    if (onLibraryThread())
        guard.emplace(10000);
    const Outcome got = row.call(wv);
    std::string cancelled;
    if (guard && !guard->cancelled().isEmpty())
        cancelled = " (and showed a dialog, cancelled after 10 s: "
            + guard->cancelled().join(", ").toStdString() + ")";
    if (got == expected && cancelled.empty())
        return std::nullopt;
    return row.function + " gave " + describe(got) + ", expected " + describe(expected) + cancelled;
}

const HandleCall *rowOf(const std::string &function)
{
    for (const HandleCall &row : handleCalls())
        if (row.function == function)
            return &row;
    return nullptr;
}

// A failing record's status tells its function: eval_js_failed for
// kiv_webview_call_js, dialog_failed for the dialogs.
Outcome withTexts(Outcome failure, const RecordTexts &texts)
{
    if (failure.kind == Outcome::record) {
        const std::optional<std::string> &text
            = failure.value == eval_js_failed ? texts.callJs : texts.dialog;
        if (text)
            failure.text = *text;
    }
    return failure;
}

} // namespace

Outcome Outcome::readFrom(const kiv_js_result_t *r)
{
    if (!r)
        return {record, -1, "(no record)"};
    return {record, r->result, r->value ? r->value : "(no text)"};
}

Outcome Outcome::of(kiv_js_result_t *r)
{
    const Outcome o = readFrom(r);
    kiv_webview_destroy_js_result(r);
    return o;
}

std::string describe(const Outcome &outcome)
{
    std::ostringstream out;
    switch (outcome.kind) {
    case Outcome::nothing:
        out << "nothing";
        break;
    case Outcome::truth:
        out << (outcome.value ? "true" : "false");
        break;
    case Outcome::status:
        out << outcome.value << ' ' << codeName(outcome.value);
        break;
    case Outcome::state:
        out << "state " << outcome.value << (outcome.value == invalid ? " invalid" : "");
        break;
    case Outcome::record:
        out << "record " << outcome.value << ' ' << codeName(outcome.value) << " \"" << outcome.text
            << '"';
        break;
    case Outcome::unknown:
        out << "(a function the table lacks)";
        break;
    }
    return out.str();
}

void PrintTo(const Outcome &outcome, std::ostream *os)
{
    *os << describe(outcome);
}

// One row: the function, a call of it with the given arguments (wv among
// them), and what it returns when wv names no open window.
#define KIV_HANDLE_CALL(function, arguments, failure)                                              \
    HandleCall                                                                                     \
    {                                                                                              \
#function, [](int wv) { return outcomeOf([wv] { return function arguments; }); }, failure  \
    }

const std::vector<HandleCall> &handleCalls()
{
    static const std::vector<HandleCall> table = {
        KIV_HANDLE_CALL(kiv_webview_valid, (wv), Outcome::of(false)),
        KIV_HANDLE_CALL(kiv_webview_set_url, (wv, "about:blank"), Outcome::of(set_url_failed)),
        KIV_HANDLE_CALL(kiv_webview_set_html, (wv, "<p>x</p>"), Outcome::of(setHtmlFailure)),
        KIV_HANDLE_CALL(kiv_webview_run_js, (wv, "1"), Outcome::of(eval_js_failed)),
        KIV_HANDLE_CALL(kiv_webview_call_js, (wv, "return 1;"), failingRecord(eval_js_failed)),
        KIV_HANDLE_CALL(kiv_webview_open_devtools, (wv), Outcome::of(eval_js_failed)),
        KIV_HANDLE_CALL(kiv_webview_move, (wv, 10, 10), Outcome::of(move_window_failed)),
        KIV_HANDLE_CALL(kiv_webview_resize, (wv, 300, 200), Outcome::of(resize_window_failed)),
        KIV_HANDLE_CALL(kiv_webview_hide, (wv), Outcome::of(windowActionFailure)),
        KIV_HANDLE_CALL(kiv_webview_show, (wv), Outcome::of(windowActionFailure)),
        KIV_HANDLE_CALL(kiv_webview_present, (wv), Outcome::of(windowActionFailure)),
        KIV_HANDLE_CALL(kiv_webview_maximize, (wv), Outcome::of(windowActionFailure)),
        KIV_HANDLE_CALL(kiv_webview_minimize, (wv), Outcome::of(windowActionFailure)),
        KIV_HANDLE_CALL(kiv_webview_show_normal, (wv), Outcome::of(windowActionFailure)),
        KIV_HANDLE_CALL(kiv_webview_window_state, (wv), Outcome::of(invalid)),
        KIV_HANDLE_CALL(kiv_webview_set_title, (wv, "t"), Outcome::of(windowActionFailure)),
        KIV_HANDLE_CALL(kiv_webview_choose_dir, (wv, "t", "/tmp"), failingRecord(dialog_failed)),
        KIV_HANDLE_CALL(
            kiv_webview_file_open, (wv, "t", "/tmp", "*.txt"), failingRecord(dialog_failed)),
        KIV_HANDLE_CALL(
            kiv_webview_file_save, (wv, "t", "/tmp", "*.txt"), failingRecord(dialog_failed)),
        KIV_HANDLE_CALL(kiv_webview_set_ou_token, (wv, "token"), Outcome {}),
        KIV_HANDLE_CALL(kiv_webview_close, (wv), Outcome {}),
    };
    return table;
}

#undef KIV_HANDLE_CALL

Outcome failureOf(const std::string &function)
{
    const HandleCall *row = rowOf(function);
    if (!row) {
        ADD_FAILURE() << "the failure-value table has no function " << function;
        return {Outcome::unknown, 0, {}};
    }
    return row->failure;
}

testing::AssertionResult everyCallFails(int wv, const RecordTexts &texts)
{
    std::vector<std::string> wrong;
    for (const HandleCall &row : handleCalls())
        if (auto what = runRow(row, wv, withTexts(row.failure, texts)))
            wrong.push_back(*what);
    // None of the calls made the handle name a window.
    if (const auto what = runRow(*rowOf("kiv_webview_valid"), wv, Outcome::of(false)))
        wrong.push_back("after every call, " + *what);
    if (wrong.empty())
        return testing::AssertionSuccess() << "handle " << wv << ": every one of the "
                                           << handleCalls().size() << " functions failed";
    testing::AssertionResult result = testing::AssertionFailure();
    result << "handle " << wv << ": " << wrong.size() << " of " << handleCalls().size()
           << " functions did not return their failure value:";
    for (const std::string &w : wrong)
        result << "\n  " << w;
    return result;
}

testing::AssertionResult callFails(const std::string &function, int wv)
{
    const HandleCall *row = rowOf(function);
    if (!row)
        return testing::AssertionFailure()
            << "the failure-value table has no function " << function;
    if (auto what = runRow(*row, wv, row->failure))
        return testing::AssertionFailure() << "handle " << wv << ": " << *what;
    return testing::AssertionSuccess() << "handle " << wv << ": " << function << " failed";
}

} // namespace kivtest
