#include "poll_answer.h"

#include <QJsonDocument>
#include <QJsonParseError>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------------------
// The direct path: answers as pages send them (JSON.stringify output) are
// rewritten in one pass, straight from the text, into exactly the bytes the
// toolkit's JSON writer gives: compact, members in ascending key order.
// It takes only what it can rewrite with certainty — strings of printable
// ASCII without escapes, integers without fraction or exponent, literals,
// objects without repeated keys, arrays — and gives up on anything else,
// which then goes through the toolkit's parser and writer.
// ---------------------------------------------------------------------------

struct Member
{
    qsizetype keyBegin; // the key's text in the output, without quotes
    qsizetype keyLength;
    qsizetype begin; // the whole member in the output
    qsizetype length;
};

class DirectWriter
{
public:
    DirectWriter(const char *text, qsizetype size)
        : p(text)
        , end(text + size)
    {
    }

    // Writes each item of the top-level array to out, one after the other,
    // and records where each begins and whether it is an object. The items
    // never take more room than the answer. False when the answer is
    // anything the direct path does not take.
    bool run(char *out, std::vector<std::pair<qsizetype, bool>> &items)
    {
        base = o = out;
        skipSpace();
        if (p == end || *p != '[')
            return false;
        ++p;
        skipSpace();
        if (p != end && *p == ']') {
            ++p;
        } else {
            for (;;) {
                skipSpace();
                items.emplace_back(size(), p != end && *p == '{');
                if (!value(0))
                    return false;
                skipSpace();
                if (p == end)
                    return false;
                if (*p == ']') {
                    ++p;
                    break;
                }
                if (*p != ',')
                    return false;
                ++p;
            }
        }
        skipSpace();
        return p == end;
    }

    qsizetype written() const { return size(); }

private:
    qsizetype size() const { return o - base; }
    void put(char c) { *o++ = c; }
    void put(const char *from, qsizetype length)
    {
        std::memcpy(o, from, static_cast<size_t>(length));
        o += length;
    }

    void skipSpace()
    {
        while (p != end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
            ++p;
    }

    bool value(int depth)
    {
        if (p == end)
            return false;
        switch (*p) {
        case '{':
            return object(depth + 1);
        case '[':
            return array(depth + 1);
        case '"':
            return string();
        case 't':
            return literal("true", 4);
        case 'f':
            return literal("false", 5);
        case 'n':
            return literal("null", 4);
        default:
            return integer();
        }
    }

    bool literal(const char *word, qsizetype length)
    {
        if (end - p < length || std::memcmp(p, word, static_cast<size_t>(length)) != 0)
            return false;
        put(p, length);
        p += length;
        return true;
    }

    bool integer()
    {
        // -?(0|[1-9][0-9]*), at most 15 digits, not -0: the toolkit reads
        // these as integers and writes them back unchanged.
        const char *start = p;
        if (*p == '-')
            ++p;
        const char *digits = p;
        while (p != end && *p >= '0' && *p <= '9')
            ++p;
        const qsizetype count = p - digits;
        if (count == 0 || count > 15 || (*digits == '0' && (count > 1 || digits != start)))
            return false;
        if (p != end && (*p == '.' || *p == 'e' || *p == 'E'))
            return false;
        put(start, p - start);
        return true;
    }

    bool string()
    {
        const char *start = p++;
        while (p != end && *p != '"') {
            const auto c = static_cast<unsigned char>(*p);
            if (c < 0x20 || c >= 0x80 || c == '\\')
                return false;
            ++p;
        }
        if (p == end)
            return false;
        ++p;
        put(start, p - start);
        return true;
    }

    bool array(int depth)
    {
        if (depth > maxDepth)
            return false;
        ++p;
        put('[');
        skipSpace();
        if (p != end && *p == ']') {
            ++p;
            put(']');
            return true;
        }
        for (;;) {
            skipSpace();
            if (!value(depth))
                return false;
            skipSpace();
            if (p == end)
                return false;
            if (*p == ']') {
                ++p;
                put(']');
                return true;
            }
            if (*p != ',')
                return false;
            ++p;
            put(',');
        }
    }

    bool object(int depth)
    {
        if (depth > maxDepth)
            return false;
        ++p;
        const qsizetype open = size();
        put('{');
        skipSpace();
        if (p != end && *p == '}') {
            ++p;
            put('}');
            return true;
        }
        const size_t first = members.size();
        bool sorted = true;
        for (;;) {
            skipSpace();
            if (p == end || *p != '"')
                return false;
            const qsizetype begin = size();
            if (!string())
                return false;
            const Member member {begin + 1, size() - begin - 2, begin, 0};
            skipSpace();
            if (p == end || *p != ':')
                return false;
            ++p;
            put(':');
            skipSpace();
            if (!value(depth))
                return false;
            members.push_back(member);
            members.back().length = size() - begin;
            if (members.size() - first > 1 && !keyLess(members[members.size() - 2], members.back()))
                sorted = false;
            skipSpace();
            if (p == end)
                return false;
            if (*p == '}') {
                ++p;
                break;
            }
            if (*p != ',')
                return false;
            ++p;
            put(',');
        }
        bool ok = true;
        if (!sorted)
            ok = reorder(open, first);
        members.resize(first);
        put('}');
        return ok;
    }

    // Byte order of ASCII keys is the toolkit's key order.
    bool keyLess(const Member &a, const Member &b) const
    {
        const char *d = base;
        const int c = std::memcmp(d + a.keyBegin, d + b.keyBegin,
            static_cast<size_t>(std::min(a.keyLength, b.keyLength)));
        return c < 0 || (c == 0 && a.keyLength < b.keyLength);
    }

    // Rewrites the members of the object opened at open in key order.
    bool reorder(qsizetype open, size_t first)
    {
        auto begin = members.begin() + static_cast<std::ptrdiff_t>(first);
        std::sort(begin, members.end(),
            [this](const Member &a, const Member &b) { return keyLess(a, b); });
        for (auto it = begin; it + 1 != members.end(); ++it)
            if (!keyLess(*it, *(it + 1)))
                return false; // a repeated key: left to the toolkit
        scratch.clear();
        for (auto it = begin; it != members.end(); ++it) {
            if (it != begin)
                scratch.push_back(',');
            scratch.append(base + it->begin, static_cast<size_t>(it->length));
        }
        o = base + open + 1;
        put(scratch.data(), static_cast<qsizetype>(scratch.size()));
        return true;
    }

    static constexpr int maxDepth = 64;
    const char *p;
    const char *end;
    char *base = nullptr;
    char *o = nullptr;
    std::vector<Member> members;
    std::string scratch;
};

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

} // namespace

qsizetype forEachPageEvent(
    const QByteArray &answer, const std::function<void(const QByteArray &eventText)> &deliver)
{
    QByteArray event(eventPrefix, sizeof eventPrefix - 1);
    event.reserve(event.size() + 256);

    // The direct path rewrites the whole answer before delivering anything,
    // so that an answer it gives up on halfway is delivered only once.
    QByteArray items(answer.size(), Qt::Uninitialized);
    std::vector<std::pair<qsizetype, bool>> starts;
    DirectWriter writer(answer.constData(), answer.size());
    if (writer.run(items.data(), starts)) {
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
