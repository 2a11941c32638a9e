#pragma once

#include <QByteArray>

// Proof Key for Code Exchange (RFC 7636), S256 method: the browser's redirect
// carries a code that only the holder of the verifier can exchange, so
// another program listening on the loopback gains nothing from it.
namespace Pkce {

// A fresh verifier: 32 random bytes, base64url without padding (43 characters).
QByteArray NewVerifier();

// BASE64URL(SHA256(verifier)) without padding.
QByteArray S256Challenge(const QByteArray& verifier);

} // namespace Pkce
