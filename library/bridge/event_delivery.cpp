// Delivery of event texts to the host's callbacks.
#include "kivwebview_qt_class.h"

#include "../core/records.h"
#include "event_container.h"

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
    // Synchronous: the host's callback has run when this returns. When
    // memory is exhausted the event is dropped.
    if (kiv_event_t *record = newEventRecord(handle, json))
        callback(record);
}
