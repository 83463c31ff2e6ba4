// Checks shared by the fuzz targets. A failed check aborts, which libFuzzer
// reports as a crash and keeps as a reproducer.
#ifndef KIVWEBVIEW_FUZZ_CHECKS_H
#define KIVWEBVIEW_FUZZ_CHECKS_H

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#define FUZZ_CHECK(condition, text)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "check failed: %s\n  on: %.*s\n", #condition,                     \
                static_cast<int>(std::min<qsizetype>(text.size(), 2000)), text.constData());       \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)

namespace fuzzcheck {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
inline bool isValidUtf8(const QByteArray &text)
{
    const auto *p = reinterpret_cast<const unsigned char *>(text.constData());
    const auto *end = p + text.size();
    while (p < end) {
        const unsigned char c = *p++;
        if (c < 0x80)
            continue;
        int more = 0;
        unsigned int cp = 0;
        if (c >= 0xc2 && c <= 0xdf) {
            more = 1;
            cp = c & 0x1f;
        } else if (c >= 0xe0 && c <= 0xef) {
            more = 2;
            cp = c & 0x0f;
        } else if (c >= 0xf0 && c <= 0xf4) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p < more)
            return false;
        for (int i = 0; i < more; ++i) {
            if ((p[i] & 0xc0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i] & 0x3f);
        }
        p += more;
        if ((more == 2 && cp < 0x800) || (more == 3 && (cp < 0x10000 || cp > 0x10ffff))
            || (cp >= 0xd800 && cp <= 0xdfff))
            return false;
    }
    return true;
}

// Reads a compact JSON text and checks that no whitespace stands outside
// strings and that every object, nested ones too, writes its members in
// ascending key order (as the toolkit compares keys), each key once.
class CompactScanner
{
public:
    explicit CompactScanner(const QByteArray &text)
        : t(text)
    {
    }

    // True when the whole text is one such value; topKeys() are then the
    // outermost object's keys in text order.
    bool scan()
    {
        const bool ok = value(0) && i == t.size();
        return ok;
    }
    const QStringList &topKeys() const { return top; }

private:
    // Decodes the inside of a JSON string by hand: the toolkit's parser
    // drops U+FEFF, which would hide a misordered key.
    // UTF-8 to UTF-16 keeping a leading U+FEFF, which fromUtf8 drops.
    static QString utf8(const QByteArray &bytes)
    {
        QStringDecoder decoder(QStringDecoder::Utf8,
            QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
        return decoder(bytes);
    }

    static QString decodeString(const QByteArray &raw)
    {
        QString out;
        QByteArray pending;
        for (qsizetype k = 0; k < raw.size(); ++k) {
            if (raw[k] != '\\') {
                pending += raw[k];
                continue;
            }
            out += utf8(pending);
            pending.clear();
            const char e = k + 1 < raw.size() ? raw[++k] : 0;
            switch (e) {
            case 'n':
                out += QChar(u'\n');
                break;
            case 't':
                out += QChar(u'\t');
                break;
            case 'r':
                out += QChar(u'\r');
                break;
            case 'b':
                out += QChar(u'\b');
                break;
            case 'f':
                out += QChar(u'\f');
                break;
            case 'u': {
                bool ok = false;
                out += QChar(char16_t(raw.mid(k + 1, 4).toUShort(&ok, 16)));
                k += 4;
                break;
            }
            default:
                out += QChar(char16_t(static_cast<unsigned char>(e)));
                break;
            }
        }
        return out + utf8(pending);
    }

    bool at(char c) const { return i < t.size() && t[i] == c; }

    bool string(QString *decoded)
    {
        const qsizetype begin = i;
        if (!at('"'))
            return false;
        ++i;
        while (i < t.size() && t[i] != '"') {
            if (static_cast<unsigned char>(t[i]) < 0x20)
                return false;
            i += t[i] == '\\' ? 2 : 1;
        }
        if (i >= t.size())
            return false;
        ++i;
        if (decoded)
            *decoded = decodeString(t.mid(begin + 1, i - begin - 2));
        return true;
    }

    bool literal(const char *word)
    {
        const qsizetype n = qsizetype(std::strlen(word));
        if (t.mid(i, n) != word)
            return false;
        i += n;
        return true;
    }

    bool number()
    {
        const qsizetype begin = i;
        while (i < t.size() && std::strchr("-+.eE0123456789", t[i]) && t[i] != 0)
            ++i;
        return i > begin;
    }

    bool value(int depth)
    {
        if (depth > 2000 || i >= t.size())
            return false;
        switch (t[i]) {
        case '"':
            return string(nullptr);
        case 't':
            return literal("true");
        case 'f':
            return literal("false");
        case 'n':
            return literal("null");
        case '[':
            ++i;
            if (at(']'))
                return ++i, true;
            for (;;) {
                if (!value(depth + 1))
                    return false;
                if (at(']'))
                    return ++i, true;
                if (!at(','))
                    return false;
                ++i;
            }
        case '{': {
            ++i;
            QStringList keys;
            bool closed = at('}');
            if (closed)
                ++i;
            while (!closed) {
                QString key;
                if (!string(&key) || !at(':'))
                    return false;
                ++i;
                if (!keys.isEmpty() && !(keys.last() < key))
                    return false;
                keys << key;
                if (!value(depth + 1))
                    return false;
                if (at('}')) {
                    ++i;
                    closed = true;
                } else if (at(',')) {
                    ++i;
                } else {
                    return false;
                }
            }
            if (depth == 0)
                top = keys;
            return true;
        }
        default:
            return number();
        }
    }

    const QByteArray &t;
    qsizetype i = 0;
    QStringList top;
};

// The text is one compact JSON object, in valid UTF-8, whose objects all
// write their members in ascending key order. Returns the parsed object.
inline QJsonObject checkCompactSortedObject(const QByteArray &text, QStringList *keys = nullptr)
{
    FUZZ_CHECK(isValidUtf8(text), text);
    QJsonParseError error {};
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    FUZZ_CHECK(error.error == QJsonParseError::NoError && document.isObject(), text);
    CompactScanner scanner(text);
    FUZZ_CHECK(scanner.scan(), text);
    FUZZ_CHECK(scanner.topKeys().size() == document.object().size(), text);
    if (keys)
        *keys = scanner.topKeys();
    return document.object();
}

} // namespace fuzzcheck

#endif // KIVWEBVIEW_FUZZ_CHECKS_H
