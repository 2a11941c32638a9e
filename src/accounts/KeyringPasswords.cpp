#include "accounts/KeyringPasswords.h"

#include "app/AccountTable.h"
#include "app/AppIdentity.h"
#include "app/CommonSettings.h"
#include "app/Fun_UboundEx.h"
#include "platform/KeyringService.h"
#include "platform/MessageBoxService.h"
#include "settings/AppSettings.h"

#include <QList>
#include <QUuid>

bool KeyringPasswords::TroubleTold = false;

namespace {

using Result = KeyringService::Result;

int s_readsPending = 0;
QList<std::function<void()>> s_afterReads;
int s_writesPending = 0;
bool s_confirmedSinceSave = false;

void tell(const QString& what, const QString& reason)
{
    if (KeyringPasswords::TroubleTold)
        return;
    KeyringPasswords::TroubleTold = true;
    MessageBoxService::Current().Show(what + QStringLiteral("\r\n") + reason,
        MessageBoxService::Icon::Exclamation, MessageBoxService::Buttons::Ok, AppIdentity::AppTitle());
}

// Nothing names the entry any more, so its failure to go can do no harm.
void remove(const QString& name)
{
    KeyringService::Current().Remove(name, [](Result, const QString&) {});
}

void forgetEntry(AccountEntry& entry)
{
    remove(entry.KeyringEntry);
    entry.KeyringEntry.clear();
    if (entry.Secret == SecretState::InKeyring || entry.Secret == SecretState::OfferedToKeyring)
        entry.Secret = SecretState::InFile;
}

// Nothing needs the entry: its account is gone, signs in with a token, or
// has its password back in the file. An unread password has no other copy:
// it stays until its account goes.
bool unneeded(const AccountEntry& entry)
{
    return !entry.KeyringEntry.isEmpty()
        && (entry.Deleted || entry.IsOAuth2()
            || (!CommonSettings.PasswordInKeyring && entry.Secret != SecretState::InKeyringUnread));
}

void write(qint32 index)
{
    AccountEntry& entry = Accounts[std::size_t(index)];
    entry.Secret = SecretState::OfferedToKeyring;
    if (entry.KeyringEntry.isEmpty())
        entry.KeyringEntry = QStringLiteral("pop3-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    ++s_writesPending;
    KeyringService::Current().Write(entry.KeyringEntry, entry.PopPasswd,
        [index, name = entry.KeyringEntry, password = entry.PopPasswd](Result result, const QString& reason) {
            --s_writesPending;
            // The account may have been deleted, or its entry given up, while the keyring took its time.
            const bool ours = IsAccountIndex(index) && !Accounts[std::size_t(index)].Deleted
                && Accounts[std::size_t(index)].KeyringEntry == name;
            if (result != Result::Ok)
                tell(QStringLiteral("キーリングにパスワードを保存できませんでした。"
                                    "パスワードは設定ファイルに残します。"),
                    reason);
            else if (!ours)
                remove(name);
            else if (Accounts[std::size_t(index)].Secret == SecretState::OfferedToKeyring
                && Accounts[std::size_t(index)].PopPasswd == password) {
                Accounts[std::size_t(index)].Secret = SecretState::InKeyring;
                s_confirmedSinceSave = true;
            }
            // One save for a batch of confirmations.
            if (s_writesPending == 0 && s_confirmedSinceSave) {
                s_confirmedSinceSave = false;
                if (SaveSettings())
                    KeyringPasswords::FollowSave();
            }
        });
}

// With the option on, every password the file holds goes to the keyring.
void storeAll()
{
    if (!CommonSettings.PasswordInKeyring)
        return;
    for (qint32 i = 0; i <= Fun_UboundEx::UboundEx(Accounts); ++i) {
        const AccountEntry& entry = Accounts[std::size_t(i)];
        if (!entry.Deleted && entry.Secret == SecretState::InFile && !entry.PopPasswd.isEmpty())
            write(i);
    }
}

// What the file still holds goes to the keyring now, not at the first save;
// the former password of an account that now signs in with a token leaves it.
void readsEnded()
{
    for (const auto& run : std::exchange(s_afterReads, {}))
        run();
    for (AccountEntry& entry : Accounts)
        if (entry.IsOAuth2() && !entry.KeyringEntry.isEmpty())
            forgetEntry(entry);
    storeAll();
}

} // namespace

namespace KeyringPasswords {

void ReadAll()
{
    for (qint32 i = 0; i <= Fun_UboundEx::UboundEx(Accounts); ++i) {
        const AccountEntry& entry = Accounts[std::size_t(i)];
        if (entry.Secret != SecretState::InKeyringUnread)
            continue;
        ++s_readsPending;
        KeyringService::Current().Read(
            entry.KeyringEntry, [i, name = entry.KeyringEntry](Result result, const QString& text) {
                --s_readsPending;
                // A password typed meanwhile is newer than the keyring's.
                AccountEntry* reading = IsAccountIndex(i) ? &Accounts[std::size_t(i)] : nullptr;
                if (reading && reading->Secret == SecretState::InKeyringUnread
                    && reading->KeyringEntry == name) {
                    if (result == Result::Ok) {
                        reading->PopPasswd = text;
                        reading->Secret = SecretState::InKeyring;
                    } else {
                        tell(QStringLiteral(
                                 "キーリングからパスワードを読み出せませんでした。"
                                 "パスワードがキーリングにしかないアカウントはチェックできません。"),
                            result == Result::NotFound ? QStringLiteral("No such entry: ") + name : text);
                    }
                }
                if (s_readsPending == 0)
                    readsEnded();
            });
    }
    if (s_readsPending == 0)
        readsEnded();
}

void WhenRead(std::function<void()> then)
{
    if (s_readsPending > 0)
        s_afterReads.append(std::move(then));
    else
        then();
}

void FollowSave()
{
    for (AccountEntry& entry : Accounts)
        if (unneeded(entry))
            forgetEntry(entry);
    storeAll();
}

} // namespace KeyringPasswords
