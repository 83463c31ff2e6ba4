#include "poll_answer.h"

#include "sorted_json_rewriter.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <vector>

namespace {

// "event" sorts before "js-evt", so the text of each event is the item
// framed by a fixed prefix.
const char eventPrefix[] = R"({"event":"js-evt","js-evt":)";

void deliverItem(QByteArray &event, const char *item, qsizetype length,
    const std::function<void(const QByteArray &eventText)> &deliver)
{
    event.truncate(sizeof eventPrefix - 1);
    event.append(item, length);
    event.append('}');
    deliver(event);
}

// The length of the JSON value that starts at text[begin] in compact JSON
// text: up to the next comma or closing bracket outside strings and nested
// values.
qsizetype valueLength(const char *text, qsizetype begin, qsizetype end)
{
    int depth = 0;
    bool inString = false;
    for (qsizetype i = begin; i < end; ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i; // the escaped character cannot end the string
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
        case '"':
            inString = true;
            break;
        case '{':
        case '[':
            ++depth;
            break;
        case '}':
        case ']':
            if (depth == 0)
                return i - begin;
            --depth;
            break;
        case ',':
            if (depth == 0)
                return i - begin;
            break;
        default:
            break;
        }
    }
    return end - begin;
}

// The rewriter's path: the whole answer is rewritten before anything is
// delivered, so that an answer it gives up on halfway is delivered only once.
// -1 when it gives up.
qsizetype deliverRewritten(QByteArray &event, const QByteArray &answer,
    const std::function<void(const QByteArray &eventText)> &deliver)
{
    QByteArray items(answer.size(), Qt::Uninitialized);
    std::vector<std::pair<qsizetype, bool>> starts;
    SortedJsonRewriter writer(answer.constData(), answer.size());
    if (!writer.run(items.data(), starts))
        return -1;
    items.truncate(writer.written());
    const qsizetype count = static_cast<qsizetype>(starts.size());
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype begin = starts[static_cast<size_t>(i)].first;
        const qsizetype next
            = i + 1 < count ? starts[static_cast<size_t>(i) + 1].first : items.size();
        if (starts[static_cast<size_t>(i)].second)
            deliverItem(event, items.constData() + begin, next - begin, deliver);
        else
            deliverItem(event, "{}", 2, deliver);
    }
    return count;
}

// The toolkit's path, for whatever the rewriter does not take.
qsizetype deliverParsed(QByteArray &event, const QByteArray &answer,
    const std::function<void(const QByteArray &eventText)> &deliver)
{
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(answer, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return 0;
    // The parsed items come back out of the parser with their members in
    // ascending key order. The compact writer writes an array's items exactly
    // as it writes each of them on its own, so the whole array is written
    // once and cut into its items, instead of one document per item.
    const QByteArray written = document.toJson(QJsonDocument::Compact);
    const char *text = written.constData();
    const qsizetype end = written.size() - 1; // before the closing ']'
    qsizetype delivered = 0;
    for (qsizetype at = 1; at < end;) {
        const qsizetype length = valueLength(text, at, end);
        if (text[at] == '{')
            deliverItem(event, text + at, length, deliver);
        else
            deliverItem(event, "{}", 2, deliver);
        ++delivered;
        at += length + 1; // and the comma
    }
    return delivered;
}

} // namespace

qsizetype forEachPageEvent(
    const QByteArray &answer, const std::function<void(const QByteArray &eventText)> &deliver)
{
    QByteArray event(eventPrefix, sizeof eventPrefix - 1);
    event.reserve(event.size() + 256);
    const qsizetype rewritten = deliverRewritten(event, answer, deliver);
    return rewritten >= 0 ? rewritten : deliverParsed(event, answer, deliver);
}
