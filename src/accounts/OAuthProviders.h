#pragma once

#include "app/AccountEntry.h"
#include "platform/OAuthService.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <span>

// The OAuth2 providers an account can sign in with, as plain data, and the
// [Common] keys through which the settings file changes any of their values.
namespace OAuthProviders {

struct Provider {
    const char16_t* name; // an account's OAuthProvider value; the middle of its [Common] keys
    const char16_t* caption; // in the sign-in dialog
    const char16_t* server;
    qint32 port;
    const char16_t* imapServer;
    qint32 imapPort;
    const char16_t* authorizeUrl;
    const char16_t* tokenUrl;
    const char16_t* scope;
    const char16_t* imapScope;
    const char16_t* authorizeParameters; // further fields of the sign-in page's address, as a query
    const char* clientId; // given at build time; empty when none was
    const char* clientSecret;
    bool needsSecret; // the token endpoint refuses the client without its secret
    // Where the account's mail is read in a browser; none for the custom provider.
    QUrl (*webmail)(const QString& address) = nullptr;
};

// What a provider amounts to once the settings have had their say.
struct Resolved {
    OAuthClient client;
    QString server;
    qint32 port = 995;
};

// Microsoft, Google, then the one that takes everything from the settings file.
std::span<const Provider> All();
// By name, in any letter case; nullptr for a name no provider has.
const Provider* Find(const QString& name);

// The [Common] key "OAuth" + name + field that overrides a field of the provider.
QString SettingKey(const Provider& provider, const char16_t* field);

// The server, port and scope are those of the protocol; the keys that
// override them serve both protocols.
Resolved Resolve(const Provider& provider, MailProtocol protocol);
// The [Common] keys a sign-in still needs (the client ID, and for the custom
// provider its endpoints and server); empty when it can start.
QStringList Missing(const Provider& provider, MailProtocol protocol);

} // namespace OAuthProviders
