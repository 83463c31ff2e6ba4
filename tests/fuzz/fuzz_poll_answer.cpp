// Fuzzes the page's poll answer: whatever text a page sends, every event
// text is a compact, sorted JSON object {"event":"js-evt","js-evt":{...}},
// one per item of the answer's array, and equal to writing the item on its
// own (the straightforward way of building it).
#include "bridge/poll_answer.h"
#include "fuzz_checks.h"

#include <QJsonArray>
#include <QJsonObject>

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // No copy: reading past the input is caught by the address sanitizer.
    const QByteArray answer
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    std::vector<QByteArray> texts;
    const qsizetype delivered
        = forEachPageEvent(answer, [&](const QByteArray &text) { texts.push_back(text); });
    FUZZ_CHECK(delivered == qsizetype(texts.size()), answer);

    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(answer, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray()) {
        FUZZ_CHECK(texts.empty(), answer);
        return 0;
    }
    const QJsonArray items = document.array();
    FUZZ_CHECK(qsizetype(texts.size()) == items.size(), answer);
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QByteArray &text = texts[size_t(i)];
        QStringList keys;
        const QJsonObject event = fuzzcheck::checkCompactSortedObject(text, &keys);
        FUZZ_CHECK(event.size() == 2, text);
        FUZZ_CHECK(
            event.value(QStringLiteral("event")).toString() == QStringLiteral("js-evt"), text);
        FUZZ_CHECK(event.value(QStringLiteral("js-evt")).isObject(), text);
        FUZZ_CHECK(keys == (QStringList {QStringLiteral("event"), QStringLiteral("js-evt")}), text);

        const QJsonValue item = items.at(i);
        const QByteArray expected = QByteArrayLiteral(R"({"event":"js-evt","js-evt":)")
            + (item.isObject() ? QJsonDocument(item.toObject()).toJson(QJsonDocument::Compact)
                               : QByteArrayLiteral("{}"))
            + '}';
        FUZZ_CHECK(text == expected, text);
    }
    return 0;
}
