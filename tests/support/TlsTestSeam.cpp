#include "TlsTestSeam.h"

#include "platform/TlsTrust.h"

namespace {

struct SeamState {
    QList<QSslCertificate> authorities;
    quint16 extraTlsPort = 0;
};

// One user-interface thread: no locking.
SeamState& state()
{
    static SeamState s;
    return s;
}

} // namespace

namespace TlsTestSeam {

void TrustAuthorities(const QList<QSslCertificate>& authorities) { state().authorities = authorities; }

QList<QSslCertificate> TrustedAuthorities() { return state().authorities; }

void SetExtraTlsPort(quint16 port) { state().extraTlsPort = port; }

quint16 ExtraTlsPort() { return state().extraTlsPort; }

void Reset() { state() = SeamState(); }

} // namespace TlsTestSeam

// What the socket asks: in test programs, whatever the test has set.
namespace TlsTrust {

QList<QSslCertificate> ExtraAuthorities() { return state().authorities; }

quint16 ExtraImplicitTlsPort() { return state().extraTlsPort; }

} // namespace TlsTrust
