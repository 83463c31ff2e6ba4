#include "records.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<RecordAllocator> allocate {&std::malloc};

char *copyText(const QByteArray &text)
{
    // constData() is NUL-terminated, also for an empty array.
    const std::size_t size = std::size_t(text.size()) + 1;
    auto *copy = static_cast<char *>(allocate.load()(size));
    if (copy)
        std::memcpy(copy, text.constData(), size);
    return copy;
}

// The highest result_t, the size of the table of last-resort records.
constexpr int highestStatus = window_action_failed;

char falseText[] = "false";

kiv_js_result_t *lastResortRecords()
{
    static kiv_js_result_t *const records = [] {
        static kiv_js_result_t table[highestStatus + 1];
        for (int status = 0; status <= highestStatus; ++status)
            table[status] = {result_t(status), falseText};
        return table;
    }();
    return records;
}

bool isLastResortRecord(const void *record)
{
    const kiv_js_result_t *table = lastResortRecords();
    for (int status = 0; status <= highestStatus; ++status)
        if (record == table + status)
            return true;
    return false;
}

} // namespace

kiv_js_result_t *newResultRecord(result_t status, const QByteArray &text)
{
    auto *record = static_cast<kiv_js_result_t *>(allocate.load()(sizeof(kiv_js_result_t)));
    if (!record)
        return nullptr;
    record->result = status;
    record->value = copyText(text);
    if (!record->value) {
        std::free(record);
        return nullptr;
    }
    return record;
}

kiv_event_t *newEventRecord(int handle, const QByteArray &text)
{
    auto *record = static_cast<kiv_event_t *>(allocate.load()(sizeof(kiv_event_t)));
    if (!record)
        return nullptr;
    record->wv = handle;
    record->event = copyText(text);
    if (!record->event) {
        std::free(record);
        return nullptr;
    }
    return record;
}

kiv_js_result_t *lastResortRecord(result_t status) noexcept
{
    const int index = int(status) >= 0 && int(status) <= highestStatus ? int(status) : 0;
    return lastResortRecords() + index;
}

void freeRecord(void *record)
{
    if (!record || isLastResortRecord(record))
        return;
    // Both records are an int-sized member followed by the text pointer.
    static_assert(sizeof(kiv_event_t) == sizeof(kiv_js_result_t), "records differ in size");
    static_assert(offsetof(kiv_event_t, event) == offsetof(kiv_js_result_t, value),
        "records differ in layout");
    std::free(static_cast<kiv_event_t *>(record)->event);
    std::free(record);
}

void setRecordAllocator(RecordAllocator allocator)
{
    allocate.store(allocator ? allocator : &std::malloc);
}
