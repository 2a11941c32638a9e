#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>
#include <span>
#include <utility>
#include <variant>

// The program-wide options, stored in the [Common] section. A new record
// holds every default but the sound folder's, which SetOptionDefaults sets.
struct CommonSettingsRecord {
    CommonSettingsRecord();

    qint32 ShowArrivalFormTime; // seconds; 0 = the arrival window stays until closed
    qint32 PopTimeOut; // seconds per wait of a POP3 session
    bool StartMinimizedWindow;
    bool RecheckMailChecked; // announce every message, not only unseen ones
    bool FormClosedIsMinimized;
    qint32 ArrivalFormPosition;
    QString ArrivalSound; // file name inside SoundFolder; empty = silent
    QString SoundFolder;
    bool PasswordInKeyring; // passwords in the desktop keyring, not in the file
    QString OpenMailWith; // web address or command line for reading mail; empty = the desktop's choice
    bool QuietWhenBusy; // hold the arrival window and its sound back while the user is busy
    bool SpamCheck; // mail the server's filter or the user's lists mark as spam is not announced
    bool SpamDelete; // with SpamCheck: such mail is kept in a local mailbox, then deleted on the server
    // The subject tags and senders that mark spam, as the user wrote them;
    // none: the lists the program comes with.
    std::optional<QStringList> SpamTags;
    std::optional<QStringList> SpamSenders;
    // The [Common] keys that change an OAuth2 provider's values, in file
    // order; the provider table (accounts/) knows what they mean.
    QList<std::pair<QString, QString>> OAuthKeys;
};

// One option of the [Common] section: its key, its member, and its default.
struct CommonOption {
    const char16_t* key;
    std::variant<bool CommonSettingsRecord::*, qint32 CommonSettingsRecord::*,
        QString CommonSettingsRecord::*>
        member;
    // Nothing: the option keeps what it holds; a function: a default that
    // depends on where the program lives.
    std::variant<std::monostate, bool, qint32, QString (*)()> byDefault;
    // Written at its default too; an option added later is not, so that the
    // files of those who never change it stay byte for byte.
    bool writtenAtDefault = true;
};

// The options in the order the settings file holds them.
std::span<const CommonOption> CommonOptions();

// The one set of options of the program.
extern CommonSettingsRecord CommonSettings;

// Gives every option its default (ArrivalSound keeps whatever it holds).
void SetOptionDefaults();
