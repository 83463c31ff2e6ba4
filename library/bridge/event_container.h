// A named event with its fields, and its JSON text.
#ifndef KIVWEBVIEW_EVENT_CONTAINER_H
#define KIVWEBVIEW_EVENT_CONTAINER_H

#include <QHash>
#include <QString>
#include <QVariant>

class EventContainer
{
public:
    // A container holding only "event" = name.
    explicit EventContainer(const QString &name);

    // Sets or replaces a field; the last value set wins.
    QVariant &operator[](const QString &key) { return fields[key]; }
    const QHash<QString, QVariant> &data() const { return fields; }

private:
    QHash<QString, QVariant> fields;
};

// The event as compact JSON: members in ascending key order, also inside
// nested objects, no whitespace, UTF-8 with non-ASCII as it is.
QByteArray mkEventJson(const EventContainer &event);

#endif // KIVWEBVIEW_EVENT_CONTAINER_H
