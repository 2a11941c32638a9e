#pragma once

#include <QList>
#include <QSslCertificate>
#include <QtGlobal>

// Lets test programs reach TLS code paths against servers of their own: an
// extra authority to trust beside the system's, and a further port that means
// implicit TLS like 995 (a test server listens on whatever port is free).
// Only test programs link this; the program itself links the system's answer,
// where the system's authorities and port 995 alone decide.
namespace TlsTestSeam {

void TrustAuthorities(const QList<QSslCertificate>& authorities);
QList<QSslCertificate> TrustedAuthorities();

// 0 for none.
void SetExtraTlsPort(quint16 port);
quint16 ExtraTlsPort();

// Back to the program's own behaviour.
void Reset();

} // namespace TlsTestSeam
