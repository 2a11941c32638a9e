#include "settings/AppSettings.h"

#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "app/Fun_UboundEx.h"
#include "app/NumericText.h"
#include "app/OAuthProviders.h"
#include "settings/API_IniFileAccess.h"
#include "settings/KeyringPasswords.h"

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

void readAccountPair(const IniPair& pair, AccountEntry& entry)
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
        entry.OAuth2 = value.trimmed().compare(u"OAuth2", Qt::CaseInsensitive) == 0;
    else if (key == u"OAuthProvider")
        entry.OAuthProvider = value;
    else if (key.startsWith(u"UIDL"))
        entry.UIDL.append(value); // file order is list order; the number is not looked at
}

IniSection accountSectionContent(const AccountEntry& entry, qint32 number)
{
    IniSection section { accountSection(number), {}, QStringLiteral("UIDL"), entry.UIDL };
    const bool passwordHere = KeyringPasswords::FileHoldsPassword(entry);
    section.Pairs.reserve(8);
    section.Pairs.append({ QStringLiteral("CheckInterval"), QString::number(entry.CheckInterval) });
    section.Pairs.append({ QStringLiteral("PopPort"), QString::number(entry.PopPort) });
    section.Pairs.append({ QStringLiteral("PopAccount"), QuoteForReading(entry.PopAccount) });
    section.Pairs.append(
        { QStringLiteral("PopPasswd"), passwordHere ? QuoteForReading(entry.PopPasswd) : QString() });
    // Written only for a password that is not here, so a file without any
    // stays as it always was.
    if (!passwordHere)
        section.Pairs.append({ QStringLiteral("KeyringEntry"), QuoteForReading(entry.KeyringEntry) });
    section.Pairs.append({ QStringLiteral("PopServer"), QuoteForReading(entry.PopServer) });
    section.Pairs.append({ QStringLiteral("UserTitle"), QuoteForReading(entry.UserTitle) });
    section.Pairs.append({ QStringLiteral("Enabled"), booleanText(entry.Enabled) });
    // Only for accounts that sign in with OAuth2, so password accounts keep their files as they were.
    if (entry.OAuth2) {
        section.Pairs.append({ QStringLiteral("AuthMethod"), QStringLiteral("OAuth2") });
        section.Pairs.append({ QStringLiteral("OAuthProvider"), QuoteForReading(entry.OAuthProvider) });
    }
    return section;
}

} // namespace

void LoadSettings()
{
    // One read and one decode of the file for the whole load.
    const IniDocument ini = API_IniFileAccess::ReadIniFile();
    QString value;
    auto common = [&](const char16_t* key) {
        return API_IniFileAccess::ReadIniValue(ini, kCommon, QString::fromUtf16(key), value);
    };

    if (common(u"ShowArrivalFormTime"))
        readNumber(value, CommonSettings.ShowArrivalFormTime);
    if (common(u"PopTimeOut"))
        readNumber(value, CommonSettings.PopTimeOut);
    if (common(u"StartMinimizedWindow"))
        readBoolean(value, CommonSettings.StartMinimizedWindow);
    if (common(u"RecheckMailChecked"))
        readBoolean(value, CommonSettings.RecheckMailChecked);
    if (common(u"FormClosedIsMinimized"))
        readBoolean(value, CommonSettings.FormClosedIsMinimized);
    if (common(u"ArrivalFormPosition"))
        readNumber(value, CommonSettings.ArrivalFormPosition);
    if (common(u"ArrivalSound"))
        CommonSettings.ArrivalSound = value;
    if (common(u"SoundFolder"))
        CommonSettings.SoundFolder = value;
    if (common(u"PasswordInKeyring"))
        readBoolean(value, CommonSettings.PasswordInKeyring);
    for (const auto& provider : OAuthProviders::All())
        for (const char16_t* field : OAuthProviders::Fields()) {
            const QString key = OAuthProviders::SettingKey(provider, field);
            if (API_IniFileAccess::ReadIniValue(ini, kCommon, key, value))
                CommonSettings.OAuthKeys.insert(key, value);
        }

    QList<IniPair> pairs;
    for (qint32 n = 0;; ++n) {
        // A missing or empty section ends the list, even if later ones exist.
        if (!API_IniFileAccess::ReadIniSectionPairs(ini, accountSection(n), pairs, true))
            break;
        AccountEntry& entry = Accounts.emplace_back();
        entry.PopPort = 110;
        for (const IniPair& pair : pairs)
            readAccountPair(pair, entry);
        entry.Deleted = false;
        // Until the keyring gives it, the password is known to be missing.
        entry.PasswdInKeyring = entry.PasswdUnread = !entry.KeyringEntry.isEmpty();
    }
}

void SaveSettings()
{
    QList<IniSection> sections;
    sections.append(IniSection { kCommon,
        {
            { QStringLiteral("RecheckMailChecked"), booleanText(CommonSettings.RecheckMailChecked) },
            { QStringLiteral("StartMinimizedWindow"), booleanText(CommonSettings.StartMinimizedWindow) },
            { QStringLiteral("PopTimeOut"), QString::number(CommonSettings.PopTimeOut) },
            { QStringLiteral("ShowArrivalFormTime"), QString::number(CommonSettings.ShowArrivalFormTime) },
            { QStringLiteral("FormClosedIsMinimized"), booleanText(CommonSettings.FormClosedIsMinimized) },
            { QStringLiteral("ArrivalFormPosition"), QString::number(CommonSettings.ArrivalFormPosition) },
            { QStringLiteral("ArrivalSound"), QuoteForReading(CommonSettings.ArrivalSound) },
            { QStringLiteral("SoundFolder"), QuoteForReading(CommonSettings.SoundFolder) },
        },
        {}, {} });
    // Left out while off, so that the files of those who never turn it on stay byte for byte.
    if (CommonSettings.PasswordInKeyring)
        sections.back().Pairs.append({ QStringLiteral("PasswordInKeyring"), booleanText(true) });
    // Only the provider keys the file held come back, in the provider table's order.
    for (const auto& provider : OAuthProviders::All())
        for (const char16_t* field : OAuthProviders::Fields()) {
            const QString key = OAuthProviders::SettingKey(provider, field);
            if (const QString value = CommonSettings.OAuthKeys.value(key); !value.isEmpty())
                sections.back().Pairs.append({ key, QuoteForReading(value) });
        }
    // Survivors are renumbered from 0; deleted entries leave no gap.
    qint32 number = 0;
    for (qint32 i = 0; i <= Fun_UboundEx::UboundEx(Accounts); ++i) {
        const AccountEntry& entry = Accounts[size_t(i)];
        if (entry.Deleted)
            continue;
        sections.append(accountSectionContent(entry, number));
        ++number;
    }
    // Whatever fails has been told to the user already, and the keyring
    // keeps what the file may still need.
    if (API_IniFileAccess::WriteIniFile(sections))
        KeyringPasswords::FollowSave();
}
