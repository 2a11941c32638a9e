#include "TempSettingsFile.h"

#include "accounts/KeyringPasswords.h"
#include "app/AccountTable.h"
#include "app/CommonSettings.h"
#include "settings/API_IniFileAccess.h"

#include <QFile>
#include <QFileInfo>

TempSettingsFile::TempSettingsFile()
    : m_path(m_dir.filePath(QStringLiteral("tandrel.ini")))
{
    API_IniFileAccess::SetIniFilePathForTests(m_path);
    API_IniFileAccess::CheckedIniFiles.clear();
    API_IniFileAccess::UnsavedIniFiles.clear();
    KeyringPasswords::TroubleTold = false;
    Accounts.clear();
    CommonSettings = CommonSettingsRecord();
    SetOptionDefaults();
}

TempSettingsFile::~TempSettingsFile()
{
    setReadOnly(false); // so the folder can be removed
    API_IniFileAccess::SetIniFilePathForTests(QString());
    API_IniFileAccess::CheckedIniFiles.clear();
    API_IniFileAccess::UnsavedIniFiles.clear();
    Accounts.clear();
}

QByteArray TempSettingsFile::read() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void TempSettingsFile::write(const QByteArray& bytes) const
{
    QFile file(m_path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

bool TempSettingsFile::exists() const { return QFileInfo::exists(m_path); }

void TempSettingsFile::setReadOnly(bool readOnly) const
{
    if (!QFileInfo(m_path).isFile())
        return;
    QFile::setPermissions(
        m_path, readOnly ? QFileDevice::ReadOwner : QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}
