// No C++ exception leaves the library through its C functions, and every
// record they promise arrives, also when memory runs out. The records' memory
// comes through the library's allocator, which these tests replace with one
// that throws or fails, as an exhausted heap does.
#include "core/records.h"
#include "failure_values.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>

using namespace kivtest;

namespace {

std::atomic<int> allocationsRefused {0};

void *throwingAllocator(std::size_t)
{
    ++allocationsRefused;
    throw std::bad_alloc();
}

void *failingAllocator(std::size_t)
{
    ++allocationsRefused;
    return nullptr;
}

// Puts the allocator in for one scope.
struct AllocatorInPlace
{
    explicit AllocatorInPlace(RecordAllocator allocator)
    {
        allocationsRefused = 0;
        setRecordAllocator(allocator);
    }
    ~AllocatorInPlace() { setRecordAllocator(nullptr); }
};

// Expects the record function's failure value, as on a handle that names
// no window.
void expectRecord(kiv_js_result_t *record, const char *function)
{
    EXPECT_EQ(Outcome::readFrom(record), failureOf(function));
    if (!record)
        return;
    // Giving it back, even twice through either function, is harmless: it
    // is the shared record of its status.
    kiv_webview_destroy_js_result(record);
    kiv_webview_destroy_event(reinterpret_cast<kiv_event_t *>(record));
}

// Every record-returning function on an open window and on a bad handle.
void expectEveryRecordIsTheFailureRecord(int wv)
{
    for (int handle : {wv, 9999}) {
        SCOPED_TRACE("handle " + std::to_string(handle));
        expectRecord(kiv_webview_call_js(handle, "return 1;"), "kiv_webview_call_js");
        expectRecord(kiv_webview_choose_dir(9999, "t", "/tmp"), "kiv_webview_choose_dir");
        expectRecord(kiv_webview_file_open(9999, "t", "/tmp", ""), "kiv_webview_file_open");
        expectRecord(kiv_webview_file_save(9999, "t", "/tmp", ""), "kiv_webview_file_save");
    }
}

// The library still works once memory is back.
void expectTheLibraryWorks(int wv)
{
    const CallResult call = callJs(wv, "return 6 * 7;");
    EXPECT_EQ(call.status, oke);
    EXPECT_EQ(call.value, R"({"exn":false,"oke":true,"result":42})");
    clearEvents();
    ASSERT_EQ(kiv_webview_set_html(wv, "<p>again</p>"), oke);
    EXPECT_TRUE(waitForEvent(wv, QStringLiteral("page-loaded")));
}

} // namespace

TEST(CBoundary, AnAllocationThatThrowsGivesEachFunctionsFailureValue)
{
    const int wv = createWindowWithHtml("<p>here</p>");
    ASSERT_GT(wv, 0);
    {
        AllocatorInPlace throwing(&throwingAllocator);
        expectEveryRecordIsTheFailureRecord(wv);
        EXPECT_GT(allocationsRefused.load(), 0);
        // Events are records too: those the window has meanwhile are
        // dropped inside the toolkit's handlers, and the pumping calls
        // return as usual.
        EXPECT_EQ(kiv_webview_resize(wv, 420, 310), oke);
        EXPECT_EQ(kiv_webview_run_js(wv, "window.kiv_send_event({lost: 1});"), oke);
        kiv_webview_process_events(700);
        EXPECT_TRUE(kiv_webview_valid(wv));
        // From another thread the record that says why cannot be made
        // either: the plain failure record comes instead.
        kiv_js_result_t *fromOtherThread = nullptr;
        std::thread([&] { fromOtherThread = kiv_webview_call_js(wv, "return 1;"); }).join();
        expectRecord(fromOtherThread, "kiv_webview_call_js");
    }
    expectTheLibraryWorks(wv);
}

TEST(CBoundary, AnAllocatorWithoutMemoryGivesRecordsThatAreNeverNull)
{
    const int wv = createWindowWithHtml("<p>here</p>");
    ASSERT_GT(wv, 0);
    {
        AllocatorInPlace failing(&failingAllocator);
        expectEveryRecordIsTheFailureRecord(wv);
        EXPECT_GT(allocationsRefused.load(), 0);
        // A window opened meanwhile opens; its events are dropped.
        clearEvents();
        const int other = kiv_webview_create(0, recordEvent);
        EXPECT_GT(other, 0);
        EXPECT_TRUE(kiv_webview_valid(other));
        EXPECT_TRUE(eventsOf(other).empty());
        kiv_webview_close(other);
    }
    expectTheLibraryWorks(wv);
}

namespace {

std::atomic<int> throwingCallbackCalls {0};

void throwingCallback(kiv_event_t *event)
{
    ++throwingCallbackCalls;
    kiv_webview_destroy_event(event);
    throw std::runtime_error("a host's callback failed");
}

} // namespace

TEST(CBoundary, ACallbackThatThrowsEndsOnlyThatCallback)
{
    const int wv = kiv_webview_create(0, throwingCallback);
    ASSERT_GT(wv, 0);
    const int before = throwingCallbackCalls.load();
    EXPECT_GT(before, 0); // "show" reached it during the create
    ASSERT_EQ(kiv_webview_set_html(wv, "<p>thrown at</p>"), oke);
    ASSERT_EQ(kiv_webview_run_js(wv, "window.kiv_send_event({one: 1});"), oke);
    // Every later event still reaches the callback.
    EXPECT_TRUE(pumpUntil([&] { return throwingCallbackCalls.load() >= before + 2; }));
    const CallResult call = callJs(wv, "return 'still here';");
    EXPECT_EQ(call.status, oke);
    EXPECT_EQ(call.value, R"({"exn":false,"oke":true,"result":"still here"})");
    kiv_webview_close(wv);
    EXPECT_FALSE(kiv_webview_valid(wv));
}
