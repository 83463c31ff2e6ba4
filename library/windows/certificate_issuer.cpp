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

// Reads the element at cursor and advances cursor past it; false when
// malformed.
bool readElement(const unsigned char *&cursor, const unsigned char *end, Element &out)
{
    if (end - cursor < 2)
        return false;
    out.tag = *cursor++;
    qsizetype length = *cursor++;
    if (length & 0x80) {
        int lengthBytes = static_cast<int>(length & 0x7f);
        if (lengthBytes == 0 || lengthBytes > 4 || end - cursor < lengthBytes)
            return false;
        length = 0;
        while (lengthBytes-- > 0)
            length = (length << 8) | *cursor++;
    }
    if (length < 0 || length > end - cursor)
        return false;
    out.data = cursor;
    out.size = length;
    cursor += length;
    return true;
}

// Reads the first element inside outer, which must have the given tag;
// next is left after it.
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

namespace {

// The issuer Name of a DER certificate: Certificate ::= SEQUENCE {
// TBSCertificate ::= SEQUENCE { [0] version OPTIONAL, serial, signature,
// issuer, ... } ... }.
bool readIssuer(const QByteArray &der, Element &issuer)
{
    const auto *cursor = reinterpret_cast<const unsigned char *>(der.constData());
    const unsigned char *end = cursor + der.size();
    Element certificate, tbs, field;
    const unsigned char *afterTbs = nullptr;
    if (!readElement(cursor, end, certificate) || certificate.tag != 0x30
        || !readInside(certificate, 0x30, tbs, afterTbs))
        return false;
    const unsigned char *tbsCursor = tbs.data;
    const unsigned char *tbsEnd = tbs.data + tbs.size;
    if (!readElement(tbsCursor, tbsEnd, field))
        return false;
    if (field.tag == 0xa0 && !readElement(tbsCursor, tbsEnd, field)) // serial
        return false;
    if (!readElement(tbsCursor, tbsEnd, field)) // signature algorithm
        return false;
    return readElement(tbsCursor, tbsEnd, issuer) && issuer.tag == 0x30;
}

} // namespace

QStringList issuerOrganizationalUnits(const QByteArray &der)
{
    static const unsigned char ouOid[] = {0x55, 0x04, 0x0b}; // 2.5.4.11
    QStringList names;
    Element issuer;
    if (!readIssuer(der, issuer))
        return names;

    // Name ::= SEQUENCE OF RelativeDistinguishedName (a SET OF attributes,
    // each a SEQUENCE of an OID and a value).
    const unsigned char *rdnCursor = issuer.data;
    const unsigned char *issuerEnd = issuer.data + issuer.size;
    Element rdn;
    while (rdnCursor < issuerEnd && readElement(rdnCursor, issuerEnd, rdn)) {
        if (rdn.tag != 0x31)
            return names;
        const unsigned char *attributeCursor = rdn.data;
        const unsigned char *rdnEnd = rdn.data + rdn.size;
        Element attribute;
        while (attributeCursor < rdnEnd && readElement(attributeCursor, rdnEnd, attribute)) {
            Element type, value;
            const unsigned char *afterType = nullptr;
            if (attribute.tag != 0x30 || !readInside(attribute, 0x06, type, afterType)
                || !readElement(afterType, attribute.data + attribute.size, value))
                continue;
            if (type.size == sizeof ouOid && std::equal(type.data, type.data + type.size, ouOid))
                names << decodeString(value);
        }
    }
    return names;
}
