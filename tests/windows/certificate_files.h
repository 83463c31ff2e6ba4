// Certificates for the tests, made by openssl into a directory: self-signed
// ones with a chosen subject, and leaves signed by a certificate authority.
#ifndef KIVWEBVIEW_CERTIFICATE_FILES_H
#define KIVWEBVIEW_CERTIFICATE_FILES_H

#include "test_support.h"

#include <QByteArray>
#include <QFile>

#include <fstream>
#include <stdexcept>
#include <string>

namespace certs {

struct KeyPair
{
    std::string cert; // PEM
    std::string key; // PEM
};

inline std::string quoted(const std::string &text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

inline void mustRun(const std::string &command)
{
    if (kivtest::run(command + " >/dev/null 2>&1") != 0)
        throw std::runtime_error("failed: " + command);
}

// An openssl configuration; pkix string mask writes non-ASCII names as
// BMPString instead of UTF8String.
inline std::string config(const std::string &dir, bool bmpStrings)
{
    const std::string path = dir + (bmpStrings ? "/bmp.cnf" : "/utf8.cnf");
    std::ofstream(path) << "[req]\ndistinguished_name=dn\nstring_mask="
                        << (bmpStrings ? "pkix" : "utf8only") << "\n[dn]\n";
    return path;
}

// A self-signed certificate for 127.0.0.1 and localhost with the subject
// written exactly as given (so its issuer too), e.g. "/OU=a/OU=b/CN=x".
// "+" joins names into one multi-valued name.
inline KeyPair selfSigned(const std::string &dir, const std::string &name,
    const std::string &subject, bool bmpStrings = false)
{
    KeyPair pair {dir + "/" + name + ".pem", dir + "/" + name + ".key"};
    mustRun("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
            " -days 2 -utf8 -multivalue-rdn -config "
        + config(dir, bmpStrings) + " -subj " + quoted(subject) + " -keyout " + pair.key + " -out "
        + pair.cert + " -addext subjectAltName=IP:127.0.0.1,DNS:localhost"
        + " -addext basicConstraints=critical,CA:TRUE");
    return pair;
}

// A leaf certificate for 127.0.0.1 and localhost signed by ca.
inline KeyPair signedBy(
    const std::string &dir, const std::string &name, const std::string &subject, const KeyPair &ca)
{
    KeyPair pair {dir + "/" + name + ".pem", dir + "/" + name + ".key"};
    const std::string request = dir + "/" + name + ".csr";
    const std::string extensions = dir + "/" + name + ".ext";
    std::ofstream(extensions) << "subjectAltName=IP:127.0.0.1,DNS:localhost\n"
                                 "basicConstraints=CA:FALSE\n";
    mustRun("openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -utf8"
            " -config "
        + config(dir, false) + " -subj " + quoted(subject) + " -keyout " + pair.key + " -out "
        + request);
    mustRun("openssl x509 -req -days 2 -in " + request + " -CA " + ca.cert + " -CAkey " + ca.key
        + " -CAcreateserial -extfile " + extensions + " -out " + pair.cert);
    return pair;
}

// A file with the leaf followed by the authority: what a server sends as
// its chain.
inline std::string chainFile(const std::string &dir, const KeyPair &leaf, const KeyPair &ca)
{
    const std::string path = dir + "/chain.pem";
    std::ofstream out(path);
    out << std::ifstream(leaf.cert).rdbuf() << std::ifstream(ca.cert).rdbuf();
    return path;
}

inline QByteArray der(const KeyPair &pair)
{
    const std::string path = pair.cert + ".der";
    mustRun("openssl x509 -in " + pair.cert + " -outform DER -out " + path);
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path);
    return file.readAll();
}

} // namespace certs

#endif // KIVWEBVIEW_CERTIFICATE_FILES_H
