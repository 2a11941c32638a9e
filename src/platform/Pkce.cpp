#include "platform/Pkce.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

#include <array>

namespace {

constexpr auto kBase64Url = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

} // namespace

QByteArray Pkce::NewVerifier()
{
    std::array<quint32, 8> random {};
    QRandomGenerator::system()->fillRange(random.data(), random.size());
    return QByteArray(reinterpret_cast<const char*>(random.data()), sizeof random).toBase64(kBase64Url);
}

QByteArray Pkce::S256Challenge(const QByteArray& verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(kBase64Url);
}
