#include "accounts/MailOpener.h"

#include "accounts/OAuthProviders.h"
#include "app/CommonSettings.h"
#include "platform/DesktopEntries.h"

namespace {

const QString kMailto = QStringLiteral("x-scheme-handler/mailto");

// A web address goes to the browser; anything else is a command line, read as
// a desktop entry's Exec line so that one quoting serves both.
MailOpener::Target FromSetting(const QString& source, const QString& value)
{
    MailOpener::Target target { {}, {}, source, value };
    const QString text = value.trimmed();
    if (text.startsWith(u"http://", Qt::CaseInsensitive) || text.startsWith(u"https://", Qt::CaseInsensitive))
        target.url = QUrl(text);
    else
        target.command = DesktopEntries::SplitExec(text);
    return target;
}

} // namespace

namespace MailOpener {

Target For(const AccountEntry& account)
{
    // A value that cannot be read still wins: it is what the user chose, and
    // the failure names it rather than quietly starting something else.
    if (!account.OpenMailWith.trimmed().isEmpty())
        return FromSetting(QStringLiteral("アカウントの OpenMailWith="), account.OpenMailWith);
    if (!CommonSettings.OpenMailWith.trimmed().isEmpty())
        return FromSetting(QStringLiteral("[Common] の OpenMailWith="), CommonSettings.OpenMailWith);
    if (account.IsOAuth2())
        if (const OAuthProviders::Provider* provider = OAuthProviders::Find(account.OAuthProvider);
            provider && provider->webmail) {
            const QUrl url = provider->webmail(account.PopAccount.trimmed());
            return { url, {}, QString::fromUtf16(provider->name) + QStringLiteral(" のウェブメール"),
                url.toString() };
        }
    // Started without an address, so that it opens on the inbox rather than a new message.
    const DesktopEntries::Handler handler = DesktopEntries::DefaultHandler(kMailto);
    if (handler.command.isEmpty())
        return {};
    return { {}, handler.command, QStringLiteral("既定のメールプログラム (") + handler.desktopId + u')',
        handler.command.join(u' ') };
}

QString FailureText(const Target& target)
{
    const QString crlf = QStringLiteral("\r\n");
    // Short lines broken by hand, so that the box never breaks one where it
    // likes; what to set is named as the user finds it on screen, not by the
    // keys and files behind it.
    if (target.source.isEmpty())
        return QStringLiteral("メールを開くものが見つかりません。") + crlf + crlf
            + QStringLiteral("次のどちらかを設定してください。") + crlf
            + QStringLiteral("・オプションの「新着メールを開く」に、") + crlf
            + QStringLiteral("　メールプログラムかウェブメールのアドレス") + crlf
            + QStringLiteral("・デスクトップの設定で、既定のメールプログラム");
    return QStringLiteral("メールを開けませんでした。") + crlf + crlf + target.source + crlf + target.value;
}

} // namespace MailOpener
