#include "TestCertificates.h"

#include <QFile>
#include <QProcess>

namespace {

const QString kScript = QStringLiteral(TANDREL_SOURCE_DIR "/tests/support/make-test-certificates.sh");

// Key generation is quick, but a loaded CI machine may be slow to start processes.
constexpr int kScriptLimitMs = 120'000;

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

bool TestCertificates::Make()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("cannot create a temporary folder: %1").arg(m_dir.errorString());
        return false;
    }
    QProcess process;
    process.start(QStringLiteral("bash"), { kScript, m_dir.path() });
    if (!process.waitForFinished(kScriptLimitMs) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        m_error = QStringLiteral("%1 failed: %2")
                      .arg(kScript, QString::fromLocal8Bit(process.readAllStandardError()));
        return false;
    }
    if (Authority().isNull() || Key(QStringLiteral("localhost")).isNull()) {
        m_error = QStringLiteral("%1 wrote no usable certificates").arg(kScript);
        return false;
    }
    return true;
}

QSslCertificate TestCertificates::Authority() const { return Certificate(QStringLiteral("ca")); }

QSslCertificate TestCertificates::Certificate(const QString& name) const
{
    return QSslCertificate(readFile(m_dir.filePath(name + QStringLiteral(".crt"))), QSsl::Pem);
}

QSslKey TestCertificates::Key(const QString& name) const
{
    return QSslKey(readFile(m_dir.filePath(name + QStringLiteral(".key"))), QSsl::Ec, QSsl::Pem);
}
