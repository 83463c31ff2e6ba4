#include "certificate_issuer.h"

#include <QString>

#include <algorithm>

namespace {

// One DER element: its tag and the bytes of its contents.
struct Element
{
    unsigned char tag = 0;
    const unsigned char *data = nullptr;
    qsizetype size = 0;
};

// Reads the element at p and advances p past it; false when malformed.
bool readElement(const unsigned char *&p, const unsigned char *end, Element &out)
{
    if (end - p < 2)
        return false;
    out.tag = *p++;
    qsizetype length = *p++;
    if (length & 0x80) {
        int bytes = static_cast<int>(length & 0x7f);
        if (bytes == 0 || bytes > 4 || end - p < bytes)
            return false;
        length = 0;
        while (bytes-- > 0)
            length = (length << 8) | *p++;
    }
    if (length < 0 || length > end - p)
        return false;
    out.data = p;
    out.size = length;
    p += length;
    return true;
}

bool readInside(const Element &outer, unsigned char tag, Element &first, const unsigned char *&next)
{
    next = outer.data;
    return readElement(next, outer.data + outer.size, first) && first.tag == tag;
}

QString decodeString(const Element &value)
{
    const auto *bytes = reinterpret_cast<const char *>(value.data);
    switch (value.tag) {
    case 0x0c: // UTF8String
        return QString::fromUtf8(bytes, value.size);
    case 0x1e: { // BMPString: UCS-2, big-endian
        QString text;
        for (qsizetype i = 0; i + 1 < value.size; i += 2)
            text += QChar(static_cast<char16_t>((value.data[i] << 8) | value.data[i + 1]));
        return text;
    }
    default: // PrintableString, IA5String, T61String and the like
        return QString::fromLatin1(bytes, value.size);
    }
}

} // namespace

QStringList issuerOrganizationalUnits(const QByteArray &der)
{
    static const unsigned char ouOid[] = {0x55, 0x04, 0x0b}; // 2.5.4.11
    QStringList names;
    const auto *p = reinterpret_cast<const unsigned char *>(der.constData());
    const unsigned char *end = p + der.size();

    Element certificate, tbs, field;
    if (!readElement(p, end, certificate) || certificate.tag != 0x30)
        return names;
    const unsigned char *q = nullptr;
    if (!readInside(certificate, 0x30, tbs, q))
        return names;

    // TBSCertificate: [0] version (optional), serial, signature, issuer.
    const unsigned char *t = tbs.data;
    const unsigned char *tbsEnd = tbs.data + tbs.size;
    if (!readElement(t, tbsEnd, field))
        return names;
    if (field.tag == 0xa0 && !readElement(t, tbsEnd, field)) // serial
        return names;
    if (!readElement(t, tbsEnd, field)) // signature algorithm
        return names;
    Element issuer;
    if (!readElement(t, tbsEnd, issuer) || issuer.tag != 0x30)
        return names;

    const unsigned char *r = issuer.data;
    const unsigned char *issuerEnd = issuer.data + issuer.size;
    Element rdn;
    while (r < issuerEnd && readElement(r, issuerEnd, rdn)) {
        if (rdn.tag != 0x31)
            return names;
        const unsigned char *a = rdn.data;
        const unsigned char *rdnEnd = rdn.data + rdn.size;
        Element attribute;
        while (a < rdnEnd && readElement(a, rdnEnd, attribute)) {
            Element type, value;
            const unsigned char *v = nullptr;
            if (attribute.tag != 0x30 || !readInside(attribute, 0x06, type, v)
                || !readElement(v, attribute.data + attribute.size, value))
                continue;
            if (type.size == sizeof ouOid && std::equal(type.data, type.data + type.size, ouOid))
                names << decodeString(value);
        }
    }
    return names;
}
