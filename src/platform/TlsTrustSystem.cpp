#include "platform/TlsTrust.h"

namespace TlsTrust {

QList<QSslCertificate> ExtraAuthorities() { return {}; }

quint16 ExtraImplicitTlsPort() { return 0; }

} // namespace TlsTrust
