// Fuzzes the DER reader of a certificate's issuer: any bytes, no crash and
// no read outside the input (the input is used in place, so the address
// sanitizer sees every byte read past its end).
#include "fuzz_checks.h"
#include "windows/certificate_issuer.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray der
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList names = issuerOrganizationalUnits(der);
    // Each name takes at least an attribute's five bytes of framing and type.
    FUZZ_CHECK(names.size() * 5 <= qsizetype(size), der);
    for (const QString &name : names)
        FUZZ_CHECK(name.size() <= qsizetype(size), der);
    return 0;
}
