#include "poll_answer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

qsizetype forEachPageEvent(
    const QByteArray &answer, const std::function<void(const QByteArray &eventText)> &deliver)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(answer, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return 0;
    const QJsonArray items = document.array();
    // "event" sorts before "js-evt", so the text of each event is the item
    // framed by a fixed prefix; only the item itself is serialised.
    static const QByteArray prefix = QByteArrayLiteral(R"({"event":"js-evt","js-evt":)");
    QByteArray text;
    qsizetype delivered = 0;
    for (const QJsonValue &item : items) {
        text = prefix;
        text += item.isObject() ? QJsonDocument(item.toObject()).toJson(QJsonDocument::Compact)
                                : QByteArrayLiteral("{}");
        text += '}';
        deliver(text);
        ++delivered;
    }
    return delivered;
}
