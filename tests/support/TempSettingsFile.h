#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Points the settings file at a fresh temporary folder for the life of the
// object and starts from a clean state: no accounts, option defaults, no file
// checked yet. The program's own settings file is never touched.
class TempSettingsFile {
public:
    TempSettingsFile();
    ~TempSettingsFile();

    TempSettingsFile(const TempSettingsFile&) = delete;
    TempSettingsFile& operator=(const TempSettingsFile&) = delete;

    QString path() const { return m_path; }
    QString folder() const { return m_dir.path(); }

    // Raw file content; an empty array when the file is missing.
    QByteArray read() const;
    void write(const QByteArray& bytes) const;
    bool exists() const;
    void setReadOnly(bool readOnly) const;

private:
    QTemporaryDir m_dir;
    QString m_path;
};
