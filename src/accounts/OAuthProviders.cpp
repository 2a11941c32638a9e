#include "accounts/OAuthProviders.h"

#include "app/CommonSettings.h"
#include "app/NumericText.h"

#include <array>

namespace {

using OAuthProviders::Provider;

// The account chosen by its address, since a browser may be signed in to several.
QUrl GoogleWebmail(const QString& address)
{
    return QUrl(QStringLiteral("https://mail.google.com/mail/u/?authuser=")
        + QString::fromLatin1(QUrl::toPercentEncoding(address)));
}

// Personal accounts read their mail on another site than work and school ones.
QUrl MicrosoftWebmail(const QString& address)
{
    const QString domain = address.section(u'@', -1).trimmed().toLower();
    const bool consumer = domain == u"outlook.com" || domain == u"msn.com" || domain.startsWith(u"hotmail.")
        || domain.startsWith(u"live.");
    return QUrl(consumer ? QStringLiteral("https://outlook.live.com/mail/")
                         : QStringLiteral("https://outlook.office.com/mail/"));
}

// The client IDs come in from the build (see the README); empty without one.
// Both providers are asked to let the user choose the account, since the
// address typed is only a hint to them; Google hands out a refresh token only
// at a consent, so it is asked for one every time (a new computer, a lost
// keyring entry, an account added again). The openid scopes make the token
// answer name the account that signed in.
const std::array<Provider, 3> kProviders { {
    { u"Microsoft", u"Microsoft (Outlook.com, Hotmail, 365)", u"outlook.office365.com", 995,
        u"outlook.office365.com", 993, u"https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
        u"https://login.microsoftonline.com/common/oauth2/v2.0/token",
        u"https://outlook.office.com/POP.AccessAsUser.All offline_access openid profile",
        u"https://outlook.office.com/IMAP.AccessAsUser.All offline_access openid profile",
        u"prompt=select_account", TANDREL_MICROSOFT_CLIENT_ID, "", false, &MicrosoftWebmail },
    { u"Google", u"Google (Gmail, Google Workspace)", u"pop.gmail.com", 995, u"imap.gmail.com", 993,
        u"https://accounts.google.com/o/oauth2/v2/auth", u"https://oauth2.googleapis.com/token",
        u"https://mail.google.com/ openid email", u"https://mail.google.com/ openid email",
        u"access_type=offline&prompt=select_account consent", TANDREL_GOOGLE_CLIENT_ID,
        TANDREL_GOOGLE_CLIENT_SECRET, true, &GoogleWebmail },
    { u"Custom", u"その他 (設定ファイルで指定)", u"", 995, u"", 993, u"", u"", u"", u"", u"", "", "", false,
        nullptr },
} };

QString value(const Provider& provider, const char16_t* field, const QString& builtIn)
{
    // Keys are matched as the settings file matches them, in any letter case.
    const QString key = OAuthProviders::SettingKey(provider, field);
    for (const auto& [name, set] : CommonSettings.OAuthKeys)
        if (name.compare(key, Qt::CaseInsensitive) == 0)
            return set;
    return builtIn;
}

} // namespace

namespace OAuthProviders {

std::span<const Provider> All() { return kProviders; }

const Provider* Find(const QString& name)
{
    for (const Provider& provider : kProviders)
        if (name.compare(QString::fromUtf16(provider.name), Qt::CaseInsensitive) == 0)
            return &provider;
    return nullptr;
}

QString SettingKey(const Provider& provider, const char16_t* field)
{
    return QStringLiteral("OAuth") + QString::fromUtf16(provider.name) + QString::fromUtf16(field);
}

Resolved Resolve(const Provider& provider, MailProtocol protocol)
{
    const bool imap = protocol == MailProtocol::Imap;
    Resolved resolved;
    resolved.client.clientId = value(provider, u"ClientId", QString::fromUtf8(provider.clientId));
    resolved.client.clientSecret = value(provider, u"ClientSecret", QString::fromUtf8(provider.clientSecret));
    resolved.client.authorizeUrl
        = QUrl(value(provider, u"AuthorizeUrl", QString::fromUtf16(provider.authorizeUrl)));
    resolved.client.tokenUrl = QUrl(value(provider, u"TokenUrl", QString::fromUtf16(provider.tokenUrl)));
    resolved.client.scope
        = value(provider, u"Scope", QString::fromUtf16(imap ? provider.imapScope : provider.scope));
    // "name=value&name=value" as a query holds them.
    for (const QString& pair :
        value(provider, u"AuthorizeParameters", QString::fromUtf16(provider.authorizeParameters))
            .split(u'&', Qt::SkipEmptyParts))
        resolved.client.authorizeParameters.append(
            { pair.section(u'=', 0, 0), QUrl::fromPercentEncoding(pair.section(u'=', 1).toUtf8()) });
    resolved.server
        = value(provider, u"Server", QString::fromUtf16(imap ? provider.imapServer : provider.server));
    resolved.port = imap ? provider.imapPort : provider.port;
    if (const auto port = NumericText::ToInt32Checked(value(provider, u"Port", {})); port && *port > 0)
        resolved.port = *port;
    return resolved;
}

QStringList Missing(const Provider& provider, MailProtocol protocol)
{
    const Resolved resolved = Resolve(provider, protocol);
    QStringList missing;
    const std::array<std::pair<const char16_t*, bool>, 6> needed { {
        { u"ClientId", resolved.client.clientId.isEmpty() },
        { u"ClientSecret", provider.needsSecret && resolved.client.clientSecret.isEmpty() },
        { u"AuthorizeUrl",
            !resolved.client.authorizeUrl.isValid() || resolved.client.authorizeUrl.isEmpty() },
        { u"TokenUrl", !resolved.client.tokenUrl.isValid() || resolved.client.tokenUrl.isEmpty() },
        { u"Scope", resolved.client.scope.isEmpty() },
        { u"Server", resolved.server.isEmpty() },
    } };
    for (const auto& [field, absent] : needed)
        if (absent)
            missing.append(SettingKey(provider, field));
    return missing;
}

} // namespace OAuthProviders
