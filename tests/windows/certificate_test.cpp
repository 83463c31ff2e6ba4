// Certificate acceptance by organisational-unit token, against real TLS
// servers on loopback with certificates made by openssl. The engine
// remembers an accepted certificate per host for the whole process, so each
// case runs in a process of its own, and a case with two servers gives them
// different host names (127.0.0.1 and localhost).
#include "certificate_files.h"
#include "test_support.h"
#include "window_queries.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

using namespace kivtest;

namespace {

const char token[] = "kiv-Token.7";

// A directory with a page and a TLS server serving it with cert and key.
struct Site
{
    std::unique_ptr<LoopbackServer> server;
    std::string text;

    Site(const std::string &dir, const std::string &cert, const std::string &key,
        const std::string &pageText)
        : text(pageText)
    {
        const std::string root = dir + "/site-" + pageText;
        run("mkdir -p '" + root + "'");
        std::ofstream(root + "/index.html") << "<html><body>" << pageText << "</body></html>";
        server = std::make_unique<LoopbackServer>(root, cert, key);
    }
    std::string url(const std::string &host = "127.0.0.1") const
    {
        return "https://" + host + ":" + std::to_string(server->port()) + "/index.html";
    }
};

// Loads url in window wv and returns the "oke" member of the "page-loaded"
// event that follows.
bool load(int wv, const std::string &url)
{
    const size_t before = eventsNamed(wv, QStringLiteral("page-loaded")).size();
    EXPECT_EQ(kiv_webview_set_url(wv, url.c_str()), oke);
    const bool arrived = pumpUntil(
        [&] { return eventsNamed(wv, QStringLiteral("page-loaded")).size() > before; }, 60000);
    EXPECT_TRUE(arrived) << "no page-loaded for " << url;
    if (!arrived)
        return false;
    return eventsNamed(wv, QStringLiteral("page-loaded"))[before].value("oke").toBool();
}

std::string bodyText(int wv)
{
    const CallResult r = callJs(wv, "return document.body ? document.body.textContent : '';");
    return parseObject(r.value).value("result").toString().toStdString();
}

int windowWithToken(const char *ouToken)
{
    const int wv = kiv_webview_create(0, recordEvent);
    if (ouToken)
        kiv_webview_set_ou_token(wv, ouToken);
    return wv;
}

} // namespace

TEST(CertificateToken, SelfSignedWithTheTokenAsFirstUnitLoads)
{
    const std::string dir = tempDir();
    // A second unit after the token: only the first one counts, in the order
    // the certificate writes them.
    const certs::KeyPair pair
        = certs::selfSigned(dir, "site", std::string("/OU=") + token + "/OU=other/CN=127.0.0.1");
    Site site(dir, pair.cert, pair.key, "served-page");
    const int wv = windowWithToken(token);
    ASSERT_TRUE(load(wv, site.url()));
    EXPECT_EQ(bodyText(wv), "served-page");
}

struct RefusedCase
{
    const char *name;
    std::string subject;
};

void PrintTo(const RefusedCase &c, std::ostream *out)
{
    *out << c.subject;
}

class CertificateRefused : public testing::TestWithParam<RefusedCase>
{
};

TEST_P(CertificateRefused, DoesNotLoad)
{
    const std::string dir = tempDir();
    const certs::KeyPair pair = certs::selfSigned(dir, "site", GetParam().subject);
    Site site(dir, pair.cert, pair.key, "served-page");
    const int wv = windowWithToken(token);
    EXPECT_FALSE(load(wv, site.url()));
    EXPECT_NE(bodyText(wv), "served-page");
}

INSTANTIATE_TEST_SUITE_P(CertificateToken, CertificateRefused,
    testing::Values(RefusedCase {"OtherLetterCase", "/OU=KIV-token.7/CN=127.0.0.1"},
        RefusedCase {"TokenAsSecondUnit", std::string("/OU=other/OU=") + token + "/CN=127.0.0.1"},
        RefusedCase {"NoUnit", std::string("/O=") + token + "/CN=127.0.0.1"},
        RefusedCase {"TokenWithinALongerUnit", std::string("/OU=") + token + "x/CN=127.0.0.1"}),
    [](const testing::TestParamInfo<RefusedCase> &info) { return info.param.name; });

TEST(CertificateToken, ALeafSignedByASelfSignedAuthorityWithTheTokenLoads)
{
    const std::string dir = tempDir();
    const certs::KeyPair ca
        = certs::selfSigned(dir, "ca", std::string("/OU=") + token + "/CN=Test authority");
    const certs::KeyPair leaf = certs::signedBy(dir, "leaf", "/OU=leaf/CN=127.0.0.1", ca);
    Site site(dir, certs::chainFile(dir, leaf, ca), leaf.key, "chained-page");
    const int wv = windowWithToken(token);
    ASSERT_TRUE(load(wv, site.url()));
    EXPECT_EQ(bodyText(wv), "chained-page");
}

TEST(CertificateToken, ALeafAloneIsRefusedEvenWhenItsIssuerNamesTheToken)
{
    // The server does not send the authority: no certificate of the chain is
    // self-signed, although the leaf's issuer carries the token.
    const std::string dir = tempDir();
    const certs::KeyPair ca
        = certs::selfSigned(dir, "ca", std::string("/OU=") + token + "/CN=Test authority");
    const certs::KeyPair leaf = certs::signedBy(dir, "leaf", "/OU=leaf/CN=127.0.0.1", ca);
    Site site(dir, leaf.cert, leaf.key, "leaf-page");
    const int wv = windowWithToken(token);
    EXPECT_FALSE(load(wv, site.url()));
    EXPECT_NE(bodyText(wv), "leaf-page");
}

TEST(CertificateToken, AWindowWhoseTokenWasNeverSetRefuses)
{
    const std::string dir = tempDir();
    const certs::KeyPair pair
        = certs::selfSigned(dir, "site", std::string("/OU=") + token + "/CN=127.0.0.1");
    Site site(dir, pair.cert, pair.key, "served-page");
    const int wv = windowWithToken(nullptr);
    EXPECT_FALSE(load(wv, site.url()));
    // An empty token admits nothing either.
    kiv_webview_set_ou_token(wv, "");
    EXPECT_FALSE(load(wv, site.url()));
    EXPECT_NE(bodyText(wv), "served-page");
}

TEST(CertificateToken, EachWindowHasItsOwnToken)
{
    const std::string dir = tempDir();
    const certs::KeyPair forA = certs::selfSigned(dir, "a", "/OU=token-A/CN=127.0.0.1");
    const certs::KeyPair forB = certs::selfSigned(dir, "b", "/OU=token-B/CN=localhost");
    Site siteA(dir, forA.cert, forA.key, "page-A");
    Site siteB(dir, forB.cert, forB.key, "page-B");
    const int a = windowWithToken("token-A");
    const int b = windowWithToken("token-B");
    const int none = windowWithToken(nullptr);

    // Neither window's token admits the other's server.
    EXPECT_FALSE(load(b, siteA.url("127.0.0.1")));
    EXPECT_FALSE(load(a, siteB.url("localhost")));
    // Each admits its own.
    ASSERT_TRUE(load(a, siteA.url("127.0.0.1")));
    EXPECT_EQ(bodyText(a), "page-A");
    ASSERT_TRUE(load(b, siteB.url("localhost")));
    EXPECT_EQ(bodyText(b), "page-B");

    // What the header promises about the engine's memory: once admitted, a
    // server loads in any window, whatever that window's token.
    ASSERT_TRUE(load(none, siteA.url("127.0.0.1")));
    EXPECT_EQ(bodyText(none), "page-A");
}
