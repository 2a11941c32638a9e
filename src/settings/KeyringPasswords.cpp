#include "settings/KeyringPasswords.h"

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
    entry.PasswdInKeyring = false;
}

void write(qint32 index)
{
    AccountEntry& entry = Accounts[std::size_t(index)];
    entry.KeyringAsked = true;
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
            else if (Accounts[std::size_t(index)].PopPasswd == password) {
                Accounts[std::size_t(index)].PasswdInKeyring = true;
                s_confirmedSinceSave = true;
            }
            // One save for a batch of confirmations.
            if (s_writesPending == 0 && s_confirmedSinceSave) {
                s_confirmedSinceSave = false;
                SaveSettings();
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
        if (!entry.Deleted && !entry.PasswdInKeyring && !entry.KeyringAsked && !entry.PopPasswd.isEmpty())
            write(i);
    }
}

// What the file still holds goes to the keyring now, not at the first save.
void readsEnded()
{
    for (const auto& run : std::exchange(s_afterReads, {}))
        run();
    storeAll();
}

} // namespace

namespace KeyringPasswords {

bool FileHoldsPassword(const AccountEntry& entry)
{
    return !entry.PasswdInKeyring || !(CommonSettings.PasswordInKeyring || entry.PasswdUnread);
}

void ReadAll()
{
    for (qint32 i = 0; i <= Fun_UboundEx::UboundEx(Accounts); ++i) {
        const AccountEntry& entry = Accounts[std::size_t(i)];
        if (!entry.PasswdUnread)
            continue;
        ++s_readsPending;
        KeyringService::Current().Read(
            entry.KeyringEntry, [i, name = entry.KeyringEntry](Result result, const QString& text) {
                --s_readsPending;
                // A password typed meanwhile is newer than the keyring's.
                AccountEntry* reading = IsAccountIndex(i) ? &Accounts[std::size_t(i)] : nullptr;
                if (reading && reading->PasswdUnread && reading->KeyringEntry == name) {
                    if (result == Result::Ok) {
                        reading->PopPasswd = text;
                        reading->PasswdUnread = false;
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
    for (qint32 i = 0; i <= Fun_UboundEx::UboundEx(Accounts); ++i) {
        AccountEntry& entry = Accounts[std::size_t(i)];
        // An unread password has no other copy: it stays until its account goes.
        if (!entry.KeyringEntry.isEmpty()
            && (entry.Deleted || (!CommonSettings.PasswordInKeyring && !entry.PasswdUnread)))
            forgetEntry(entry);
    }
    storeAll();
}

} // namespace KeyringPasswords
