// Reading the issuer's organisational-unit names from certificates made by
// openssl: order as written, repeated and multi-valued names, string kinds,
// long encodings, and input that is no certificate.
#include "certificate_files.h"
#include "windows/certificate_issuer.h"

#include <gtest/gtest.h>

using certs::der;
using certs::selfSigned;
using certs::signedBy;

TEST(CertificateIssuer, NamesComeInTheOrderTheCertificateWritesThem)
{
    const std::string dir = kivtest::tempDir();
    EXPECT_EQ(issuerOrganizationalUnits(der(selfSigned(dir, "one", "/OU=tok/CN=127.0.0.1"))),
        QStringList {"tok"});
    EXPECT_EQ(
        issuerOrganizationalUnits(der(selfSigned(dir, "two", "/OU=other/OU=tok/CN=127.0.0.1"))),
        (QStringList {"other", "tok"}));
    EXPECT_EQ(
        issuerOrganizationalUnits(der(selfSigned(dir, "rev", "/OU=tok/OU=other/CN=127.0.0.1"))),
        (QStringList {"tok", "other"}));
    // Names of other kinds in between are skipped.
    EXPECT_EQ(issuerOrganizationalUnits(
                  der(selfSigned(dir, "mixed", "/C=DE/OU=b/O=Org/OU=a/CN=127.0.0.1/OU=c"))),
        (QStringList {"b", "a", "c"}));
    EXPECT_TRUE(
        issuerOrganizationalUnits(der(selfSigned(dir, "none", "/O=tok/CN=127.0.0.1"))).isEmpty());
}

TEST(CertificateIssuer, RepeatedAndMultiValuedNamesAllCount)
{
    const std::string dir = kivtest::tempDir();
    EXPECT_EQ(issuerOrganizationalUnits(der(selfSigned(dir, "same", "/OU=x/OU=x/CN=h"))),
        (QStringList {"x", "x"}));
    // One relative name holding two units, then another.
    EXPECT_EQ(issuerOrganizationalUnits(der(selfSigned(dir, "multi", "/OU=a+OU=b/OU=c/CN=h"))),
        (QStringList {"a", "b", "c"}));
}

TEST(CertificateIssuer, Utf8AndBmpStringsAreDecoded)
{
    const std::string dir = kivtest::tempDir();
    EXPECT_EQ(issuerOrganizationalUnits(der(selfSigned(dir, "utf8", "/OU=Grüße/OU=Ωmega/CN=h"))),
        (QStringList {QStringLiteral("Grüße"), QStringLiteral("Ωmega")}));

    const QByteArray bmp = der(selfSigned(dir, "bmp", "/OU=Ωmega/OU=plain/CN=h", true));
    // The name really is a BMPString (tag 0x1e) in this encoding.
    ASSERT_TRUE(bmp.contains(QByteArray::fromHex("1e0a03a9006d0065")));
    EXPECT_EQ(issuerOrganizationalUnits(bmp),
        (QStringList {QStringLiteral("Ωmega"), QStringLiteral("plain")}));
}

TEST(CertificateIssuer, TheIssuerIsReadNotTheSubject)
{
    const std::string dir = kivtest::tempDir();
    const certs::KeyPair ca = selfSigned(dir, "ca", "/OU=authority/OU=second/CN=Test CA");
    const certs::KeyPair leaf = signedBy(dir, "leaf", "/OU=subject/CN=127.0.0.1", ca);
    EXPECT_EQ(issuerOrganizationalUnits(der(leaf)), (QStringList {"authority", "second"}));
    // Long issuers need a longer length encoding.
    std::string subject;
    for (int i = 0; i < 12; ++i)
        subject += "/OU=unit-" + std::to_string(i) + "-padded-to-a-fair-length-xxxxxxxx";
    const QStringList many = issuerOrganizationalUnits(der(selfSigned(dir, "long", subject)));
    ASSERT_EQ(many.size(), 12);
    EXPECT_EQ(many.front(), QStringLiteral("unit-0-padded-to-a-fair-length-xxxxxxxx"));
    EXPECT_EQ(many.back(), QStringLiteral("unit-11-padded-to-a-fair-length-xxxxxxxx"));
}

TEST(CertificateIssuer, InputThatIsNoCertificateGivesNothing)
{
    const std::string dir = kivtest::tempDir();
    const QByteArray good = der(selfSigned(dir, "good", "/OU=tok/CN=h"));
    EXPECT_TRUE(issuerOrganizationalUnits(QByteArray()).isEmpty());
    EXPECT_TRUE(issuerOrganizationalUnits(QByteArray("\x30", 1)).isEmpty());
    EXPECT_TRUE(issuerOrganizationalUnits(QByteArray("not a certificate")).isEmpty());
    EXPECT_TRUE(issuerOrganizationalUnits(QByteArray::fromHex("30840000ffff")).isEmpty());
    // Every truncation of a real certificate is read safely; none that
    // lacks the issuer's end yields a name it does not hold.
    for (int size = 0; size < good.size(); ++size) {
        const QStringList names = issuerOrganizationalUnits(good.left(size));
        EXPECT_TRUE(names.isEmpty() || names == QStringList {"tok"}) << size;
    }
    EXPECT_EQ(issuerOrganizationalUnits(good), QStringList {"tok"});
}
