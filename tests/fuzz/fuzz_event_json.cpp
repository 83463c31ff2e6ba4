// Fuzzes the event JSON writer with events whose name, field names and
// values come from the input: the text must be one compact JSON object in
// valid UTF-8, every object's members in ascending key order, with exactly
// the fields set (the last value of a key winning) and their values.
#include "bridge/event_container.h"
#include "fuzz_checks.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QVariantList>
#include <QVariantMap>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// Takes typed pieces off the front of the input; zeros once it ran out.
class Reader
{
public:
    Reader(const uint8_t *data, size_t size)
        : p(data)
        , end(data + size)
    {
    }
    bool done() const { return p >= end; }
    uint8_t byte() { return p < end ? *p++ : 0; }
    QByteArray bytes(size_t n)
    {
        n = std::min<size_t>(n, size_t(end - p));
        QByteArray out(reinterpret_cast<const char *>(p), qsizetype(n));
        p += n;
        return out;
    }
    template <typename T> T raw()
    {
        T value {};
        const QByteArray b = bytes(sizeof(T));
        std::memcpy(&value, b.constData(), size_t(b.size()));
        return value;
    }
    // A text: UTF-8 bytes (possibly invalid) or raw UTF-16 code units
    // (possibly lone surrogates), by the top bit of its length byte.
    QString text()
    {
        const uint8_t head = byte();
        const QByteArray b = bytes(head & 0x3f);
        if (!(head & 0x80))
            return QString::fromUtf8(b);
        QString s;
        for (qsizetype i = 0; i + 1 < b.size(); i += 2)
            s += QChar(char16_t((uint8_t(b[i]) << 8) | uint8_t(b[i + 1])));
        return s;
    }

private:
    const uint8_t *p;
    const uint8_t *end;
};

QVariant readValue(Reader &in, int depth)
{
    switch (in.byte() % (depth < 3 ? 10 : 7)) {
    case 0:
        return bool(in.byte() & 1);
    case 1:
        return in.raw<int32_t>();
    case 2:
        return qint64(in.raw<int64_t>());
    case 3:
        return in.raw<double>(); // any bits: NaN and infinities too
    case 4:
    case 5:
        return in.text();
    case 6:
        return QVariant();
    case 7: { // a page's item: whatever JSON object the bytes parse to
        const QByteArray json = in.bytes(in.byte());
        return QJsonDocument::fromJson(json).object();
    }
    case 8: {
        QVariantMap map;
        for (int n = in.byte() % 4; n > 0; --n)
            map.insert(in.text(), readValue(in, depth + 1));
        return map;
    }
    default: {
        QVariantList list;
        for (int n = in.byte() % 4; n > 0; --n)
            list << readValue(in, depth + 1);
        return list;
    }
    }
}

// Whether a text survives writing and reading back unchanged: lone
// surrogates cannot be written as UTF-8, and the toolkit's parser drops
// U+FEFF wherever it stands.
bool roundTrips(const QString &s)
{
    return QStringView(s).isValidUtf16() && !s.contains(QChar(0xfeff));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Reader in(data, size);
    EventContainer event(in.text());
    QHash<QString, QVariant> expected = event.data();
    while (!in.done()) {
        const QString key = in.text();
        const QVariant value = readValue(in, 0);
        event[key] = value;
        expected[key] = value;
    }

    const QByteArray text = mkEventJson(event);
    QStringList keys;
    const QJsonObject parsed = fuzzcheck::checkCompactSortedObject(text, &keys);

    bool allKeysValid = true;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        allKeysValid = allKeysValid && roundTrips(it.key());
    if (!allKeysValid)
        return 0;
    // The parsed members by name. QJsonObject::value() is not used: the
    // toolkit's own lookup misses some keys mixing characters beyond U+FFFF
    // with ones above the surrogate range, though iteration yields them.
    QHash<QString, QJsonValue> members;
    for (auto it = parsed.begin(); it != parsed.end(); ++it)
        members.insert(it.key(), it.value());
    FUZZ_CHECK(members.size() == expected.size(), text);
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        FUZZ_CHECK(members.contains(it.key()), text);
        const QJsonValue got = members.value(it.key());
        const QVariant &want = it.value();
        switch (want.typeId()) {
        case QMetaType::Bool:
            FUZZ_CHECK(got.isBool() && got.toBool() == want.toBool(), text);
            break;
        case QMetaType::Int:
            FUZZ_CHECK(got.isDouble() && got.toDouble() == double(want.toInt()), text);
            break;
        case QMetaType::QString:
            FUZZ_CHECK(got.isString(), text);
            if (roundTrips(want.toString()))
                FUZZ_CHECK(got.toString() == want.toString(), text);
            break;
        case QMetaType::Double:
            if (std::isfinite(want.toDouble()))
                FUZZ_CHECK(got.isDouble() && got.toDouble() == want.toDouble(), text);
            break;
        case QMetaType::UnknownType:
            FUZZ_CHECK(got.isNull(), text);
            break;
        case QMetaType::QJsonObject:
        case QMetaType::QVariantMap:
            FUZZ_CHECK(got.isObject(), text);
            break;
        case QMetaType::QVariantList:
            FUZZ_CHECK(got.isArray(), text);
            break;
        default:
            break;
        }
    }
    return 0;
}
