// Reading a certificate's issuer the way the certificate itself writes it.
#ifndef KIVWEBVIEW_CERTIFICATE_ISSUER_H
#define KIVWEBVIEW_CERTIFICATE_ISSUER_H

#include <QByteArray>
#include <QStringList>

// The organisational-unit (OU) names of the issuer of a DER-encoded X.509
// certificate, in the order the certificate lists them. The toolkit's own
// issuerInfo() returns repeated names in reverse order, so it cannot tell
// which name comes first. Empty when the certificate cannot be read.
QStringList issuerOrganizationalUnits(const QByteArray &der);

#endif // KIVWEBVIEW_CERTIFICATE_ISSUER_H
