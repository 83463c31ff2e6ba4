// Delivery of event texts to the host's callbacks.
#include "kivwebview_qt_class.h"

#include "../core/records.h"
#include "event_container.h"

// Kept for hosts that link against the class; inside the library every
// event goes through deliverEvent.
void Kivwebview_qt::triggerEvent(int handle, const EventContainer &event)
{
    if (callbacks.contains(handle))
        deliverEvent(handle, mkEventJson(event));
}

void Kivwebview_qt::triggerEvent(int handle, const QString &json)
{
    if (callbacks.contains(handle))
        deliverEvent(handle, json.toUtf8());
}

void Kivwebview_qt::deliverEvent(int handle, const QByteArray &json)
{
    void (*callback)(kiv_event_t *) = callbacks.value(handle, nullptr);
    if (!callback)
        return; // no receiver: nothing is allocated, nothing reported
    // Synchronous: the host's callback has run when this returns. This runs
    // inside the toolkit's and the engine's handlers, which no exception may
    // cross: when memory is exhausted the event is dropped, and an exception
    // that a (C++) host's callback throws ends that callback only.
    try {
        if (kiv_event_t *record = newEventRecord(handle, json))
            callback(record);
    } catch (...) {
    }
}
