#include "event_container.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

EventContainer::EventContainer(const QString &name)
{
    fields.insert(QStringLiteral("event"), name);
}

QByteArray mkEventJson(const EventContainer &event)
{
    QJsonObject object;
    const QHash<QString, QVariant> &fields = event.data();
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        object.insert(it.key(), QJsonValue::fromVariant(it.value()));
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}
