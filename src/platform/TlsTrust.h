#pragma once

#include <QList>
#include <QSslCertificate>
#include <QtGlobal>

// What decides a TLS connection beyond port 995 and the system's authorities.
// The program links the system's answer, which adds nothing; test programs
// link one they can set, so that their own servers on free ports can speak
// TLS with a test authority. Nothing ever relaxes a check.
namespace TlsTrust {

// Authorities trusted beside the system's.
QList<QSslCertificate> ExtraAuthorities();

// A further port that means implicit TLS as 995 does; 0 for none.
quint16 ExtraImplicitTlsPort();

} // namespace TlsTrust
