// What every function of the C interface that takes a window handle returns
// when the handle names no open window, in one table, and the checks that go
// through it.
//
// The build option KIVWEBVIEW_WINDOWS_FAILURE_CODES swaps two of the codes
// (set_html_failed for set_url_failed, window_action_failed for
// resize_window_failed). The table is compiled once for each of the two
// tables a test program can link: kiv_add_test links each program with the
// one that matches its library.
#ifndef KIVWEBVIEW_FAILURE_VALUES_H
#define KIVWEBVIEW_FAILURE_VALUES_H

#include "kivwebview_qt.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <type_traits>
#include <vector>

namespace kivtest {

// What one call of a C function gave back.
struct Outcome
{
    enum Kind {
        nothing, // a void function
        truth, // kiv_webview_valid
        status, // a result_t
        state, // a window_state_t
        record, // a kiv_js_result_t: its status and its text
        unknown // the table has no such function
    };
    Kind kind = nothing;
    int value = 0;
    std::string text; // a record's text

    static Outcome of(bool valid) { return {truth, valid, {}}; }
    static Outcome of(result_t code) { return {status, code, {}}; }
    static Outcome of(window_state_t s) { return {state, s, {}}; }
    // Takes the record and frees it; a missing record or text shows as such.
    static Outcome of(kiv_js_result_t *r);
    // The same, leaving the record to the caller.
    static Outcome readFrom(const kiv_js_result_t *r);

    bool operator==(const Outcome &other) const
    {
        return kind == other.kind && value == other.value && text == other.text;
    }
    bool operator!=(const Outcome &other) const { return !(*this == other); }
};

// E.g. `17 window_action_failed`, `record 14 dialog_failed "false"`.
std::string describe(const Outcome &outcome);
void PrintTo(const Outcome &outcome, std::ostream *os);

// Calls call (any C function call) and gives what it returned.
template <typename Call> Outcome outcomeOf(Call call)
{
    if constexpr (std::is_void_v<decltype(call())>) {
        call();
        return Outcome {};
    } else {
        return Outcome::of(call());
    }
}

// One function that takes a window handle: how to call it on a handle, and
// what it returns when that handle names no open window.
struct HandleCall
{
    std::string function;
    std::function<Outcome(int wv)> call;
    Outcome failure;
};

// Every function of the C interface that takes a window handle, in the order
// everyCallFails calls them (kiv_webview_close last).
const std::vector<HandleCall> &handleCalls();

// Texts the failing records have instead of the table's "false": from
// another thread than the library's, they say so.
struct RecordTexts
{
    std::optional<std::string> callJs; // of kiv_webview_call_js
    std::optional<std::string> dialog; // of the three dialog functions
};

// The failure value of one function of the table, by name (an unknown name
// fails the test).
Outcome failureOf(const std::string &function);

// Calls every function of the table on wv: a success when each returned its
// failure value (and wv still names no window afterwards); otherwise the
// message names the handle and each function that returned something else.
// On the library's thread a dialog that opens all the same is cancelled
// after 10 s, so that the check fails instead of waiting for a user.
testing::AssertionResult everyCallFails(int wv, const RecordTexts &texts = {});

// The same for one function of the table.
testing::AssertionResult callFails(const std::string &function, int wv);

} // namespace kivtest

#endif // KIVWEBVIEW_FAILURE_VALUES_H
