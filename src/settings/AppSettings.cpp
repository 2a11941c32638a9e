#include "settings/AppSettings.h"

#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "app/Fun_UboundEx.h"
#include "app/NumericText.h"
#include "settings/API_IniFileAccess.h"

#include <algorithm>
#include <variant>

using API_IniFileAccess::IniPair;
using API_IniFileAccess::IniSection;
using API_IniFileAccess::QuoteForReading;

namespace {

const QString kCommon = QStringLiteral("Common");

QString accountSection(qint32 number) { return QStringLiteral("Account") + QString::number(number); }

// A number that does not fit 32 bits leaves the field as it was.
void readNumber(const QString& text, qint32& field)
{
    if (const auto value = NumericText::ToInt32Checked(text))
        field = *value;
}

// "True"/"False" in any letter case, or a number (zero is false). Anything
// else leaves the field as it was.
void readBoolean(const QString& text, bool& field)
{
    const QString word = text.trimmed();
    if (word.compare(u"True", Qt::CaseInsensitive) == 0)
        field = true;
    else if (word.compare(u"False", Qt::CaseInsensitive) == 0)
        field = false;
    else if (NumericText::IsNumeric(word))
        field = NumericText::LeadingValue(word) != 0.0;
}

QString booleanText(bool value) { return value ? QStringLiteral("True") : QStringLiteral("False"); }

void readAccountPair(const IniPair& pair, AccountEntry& entry, bool& oauth2)
{
    const QString& key = pair.Key;
    const QString& value = pair.Value;
    if (key == u"UserTitle")
        entry.UserTitle = value;
    else if (key == u"PopAccount")
        entry.PopAccount = value;
    else if (key == u"PopPasswd")
        entry.PopPasswd = value;
    else if (key == u"PopServer")
        entry.PopServer = value;
    else if (key == u"PopPort")
        readNumber(value, entry.PopPort);
    else if (key == u"CheckInterval")
        readNumber(value, entry.CheckInterval);
    else if (key == u"Enabled")
        readBoolean(value, entry.Enabled);
    else if (key == u"KeyringEntry")
        entry.KeyringEntry = value;
    else if (key == u"AuthMethod")
        oauth2 = value.trimmed().compare(u"OAuth2", Qt::CaseInsensitive) == 0;
    else if (key == u"OAuthProvider")
        entry.OAuthProvider = value;
    else if (key == u"OpenMailWith")
        entry.OpenMailWith = value;
    else if (key == u"Protocol")
        entry.Protocol = value.trimmed().compare(u"IMAP", Qt::CaseInsensitive) == 0 ? MailProtocol::Imap
                                                                                    : MailProtocol::Pop3;
    else if (key.startsWith(u"UIDL"))
        entry.UIDL.append(value); // file order is list order; the number is not looked at
}

IniSection accountSectionContent(const AccountEntry& entry, qint32 number)
{
    IniSection section { accountSection(number), {}, QStringLiteral("UIDL"), entry.UIDL };
    const bool inKeyring = entry.PasswordOnlyInKeyring(CommonSettings.PasswordInKeyring);
    section.Pairs.reserve(8);
    section.Pairs.append({ QStringLiteral("CheckInterval"), QString::number(entry.CheckInterval) });
    section.Pairs.append({ QStringLiteral("PopPort"), QString::number(entry.PopPort) });
    section.Pairs.append({ QStringLiteral("PopAccount"), QuoteForReading(entry.PopAccount) });
    // An OAuth2 account has no password to write, whatever it once had.
    section.Pairs.append({ QStringLiteral("PopPasswd"),
        inKeyring || entry.IsOAuth2() ? QString() : QuoteForReading(entry.PopPasswd) });
    // Written only for a password that is not here, so a file without any
    // stays as it always was.
    if (inKeyring)
        section.Pairs.append({ QStringLiteral("KeyringEntry"), QuoteForReading(entry.KeyringEntry) });
    section.Pairs.append({ QStringLiteral("PopServer"), QuoteForReading(entry.PopServer) });
    section.Pairs.append({ QStringLiteral("UserTitle"), QuoteForReading(entry.UserTitle) });
    section.Pairs.append({ QStringLiteral("Enabled"), booleanText(entry.Enabled) });
    // Only for accounts that sign in with OAuth2, so password accounts keep their files as they were.
    if (entry.IsOAuth2()) {
        section.Pairs.append({ QStringLiteral("AuthMethod"), QStringLiteral("OAuth2") });
        section.Pairs.append({ QStringLiteral("OAuthProvider"), QuoteForReading(entry.OAuthProvider) });
    }
    if (!entry.OpenMailWith.isEmpty())
        section.Pairs.append({ QStringLiteral("OpenMailWith"), QuoteForReading(entry.OpenMailWith) });
    // POP3 is what a file without the key has always meant, so POP3 accounts keep their files as they were.
    if (entry.Protocol == MailProtocol::Imap)
        section.Pairs.append({ QStringLiteral("Protocol"), QStringLiteral("IMAP") });
    return section;
}

// The user's spam lists, each in a section of its own, written only once the
// user has set it: "Count" keeps an emptied list apart from one never set.
struct SpamList {
    const char16_t* section;
    const char16_t* key;
    std::optional<QStringList> CommonSettingsRecord::*member;
};

constexpr SpamList kSpamLists[] {
    { u"SpamTags", u"Tag", &CommonSettingsRecord::SpamTags },
    { u"SpamSenders", u"Sender", &CommonSettingsRecord::SpamSenders },
};

// The [Common] keys of the OAuth2 providers' values start with this; the
// file keeps them in its own order, the first of a name counting.
bool isProviderKey(const QString& key) { return key.startsWith(u"OAuth", Qt::CaseInsensitive); }

} // namespace

void LoadSettings()
{
    // One read and one decode of the file for the whole load.
    const IniDocument ini = API_IniFileAccess::ReadIniFile();
    QString value;
    for (const CommonOption& option : CommonOptions()) {
        if (!API_IniFileAccess::ReadIniValue(ini, kCommon, QString::fromUtf16(option.key), value))
            continue;
        std::visit(
            [&](auto member) {
                using Field = std::remove_reference_t<decltype(CommonSettings.*member)>;
                if constexpr (std::is_same_v<Field, bool>)
                    readBoolean(value, CommonSettings.*member);
                else if constexpr (std::is_same_v<Field, qint32>)
                    readNumber(value, CommonSettings.*member);
                else
                    CommonSettings.*member = value;
            },
            option.member);
    }
    QList<IniPair> pairs;
    if (API_IniFileAccess::ReadIniSectionPairs(ini, kCommon, pairs, true))
        for (const IniPair& pair : pairs) {
            const QString key = pair.Key.trimmed();
            const bool known = std::any_of(CommonSettings.OAuthKeys.cbegin(), CommonSettings.OAuthKeys.cend(),
                [&key](const auto& held) { return held.first.compare(key, Qt::CaseInsensitive) == 0; });
            if (isProviderKey(key) && !known && !pair.Value.trimmed().isEmpty())
                CommonSettings.OAuthKeys.append({ key, pair.Value.trimmed() });
        }

    for (const SpamList& list : kSpamLists) {
        if (!API_IniFileAccess::ReadIniSectionPairs(ini, QString::fromUtf16(list.section), pairs, true))
            continue;
        QStringList& entries = (CommonSettings.*list.member).emplace();
        for (const IniPair& pair : pairs)
            if (pair.Key.startsWith(QString::fromUtf16(list.key)) && !pair.Value.isEmpty())
                entries.append(pair.Value);
    }

    for (qint32 n = 0;; ++n) {
        // A missing or empty section ends the list, even if later ones exist.
        if (!API_IniFileAccess::ReadIniSectionPairs(ini, accountSection(n), pairs, true))
            break;
        AccountEntry& entry = Accounts.emplace_back();
        entry.PopPort = 110;
        bool oauth2 = false;
        for (const IniPair& pair : pairs)
            readAccountPair(pair, entry, oauth2);
        entry.Deleted = false;
        if (oauth2) {
            // A token signs it in: a password left in the file is of no use
            // and would only stay there in plain text.
            entry.Secret = SecretState::OAuth2;
            entry.PopPasswd.clear();
        } else if (!entry.KeyringEntry.isEmpty()) {
            // Until the keyring gives it, the password is known to be missing.
            entry.Secret = SecretState::InKeyringUnread;
        }
    }
}

bool SaveSettings()
{
    QList<IniSection> sections;
    sections.append(IniSection { kCommon, {}, {}, {} });
    for (const CommonOption& option : CommonOptions())
        std::visit(
            [&](auto member) {
                const auto& field = CommonSettings.*member;
                using Field = std::remove_cvref_t<decltype(field)>;
                QString text;
                if constexpr (std::is_same_v<Field, bool>) {
                    const bool* byDefault = std::get_if<bool>(&option.byDefault);
                    if (!option.writtenAtDefault && byDefault && field == *byDefault)
                        return;
                    text = booleanText(field);
                } else if constexpr (std::is_same_v<Field, qint32>) {
                    text = QString::number(field);
                } else {
                    if (field.isEmpty() && !option.writtenAtDefault)
                        return;
                    text = QuoteForReading(field);
                }
                sections.back().Pairs.append({ QString::fromUtf16(option.key), text });
            },
            option.member);
    for (const auto& [key, value] : CommonSettings.OAuthKeys)
        sections.back().Pairs.append({ key, QuoteForReading(value) });
    for (const SpamList& list : kSpamLists)
        if (const auto& entries = CommonSettings.*list.member)
            sections.append(IniSection { QString::fromUtf16(list.section),
                { { QStringLiteral("Count"), QString::number(entries->size()) } },
                QString::fromUtf16(list.key), *entries });
    // Survivors are renumbered from 0; deleted entries leave no gap.
    qint32 number = 0;
    for (qint32 i = 0; i <= Fun_UboundEx::UboundEx(Accounts); ++i) {
        const AccountEntry& entry = Accounts[size_t(i)];
        if (entry.Deleted)
            continue;
        sections.append(accountSectionContent(entry, number));
        ++number;
    }
    // Whatever fails has been told to the user already.
    return API_IniFileAccess::WriteIniFile(sections);
}
