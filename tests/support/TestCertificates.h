#pragma once

#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QTemporaryDir>

// The certificates of tests/support/make-test-certificates.sh, made afresh in
// a temporary folder: a test authority and server certificates that are good,
// for the wrong host, expired, from an unknown authority and self-signed.
class TestCertificates {
public:
    // Runs the script; false with Error() when openssl is missing or fails.
    bool Make();
    QString Error() const { return m_error; }

    QSslCertificate Authority() const;
    // By file name without extension: "localhost", "wrong-host", "expired", "unknown-ca", "self-signed".
    QSslCertificate Certificate(const QString& name) const;
    QSslKey Key(const QString& name) const;
    // The folder holding every .crt and .key file.
    QString Folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QString m_error;
};
