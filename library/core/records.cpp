#include "records.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

char *copyText(const QByteArray &text)
{
    // constData() is NUL-terminated, also for an empty array.
    return strdup(text.constData());
}

} // namespace

kiv_js_result_t *newResultRecord(result_t status, const QByteArray &text)
{
    auto *record = static_cast<kiv_js_result_t *>(std::malloc(sizeof(kiv_js_result_t)));
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
    auto *record = static_cast<kiv_event_t *>(std::malloc(sizeof(kiv_event_t)));
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

void freeRecord(void *record)
{
    if (!record)
        return;
    // Both records are an int-sized member followed by the text pointer.
    static_assert(sizeof(kiv_event_t) == sizeof(kiv_js_result_t), "records differ in size");
    static_assert(offsetof(kiv_event_t, event) == offsetof(kiv_js_result_t, value),
        "records differ in layout");
    std::free(static_cast<kiv_event_t *>(record)->event);
    std::free(record);
}
