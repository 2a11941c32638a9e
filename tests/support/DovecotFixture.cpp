#include "DovecotFixture.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>

namespace {

const QString kFixtureScript = QStringLiteral(TANDREL_SOURCE_DIR "/tests/support/dovecot-fixture.sh");
const QString kMessageMaker = QStringLiteral(TANDREL_SOURCE_DIR "/tests/support/make_messages.py");

// Generous: Dovecot's first start on a cold CI machine and a 2,000-message
// delivery both take seconds; nothing here judges speed.
constexpr int kScriptLimitMs = 180'000;
constexpr int kReplyLimitMs = 30'000;

// The script's exit status for "this machine cannot run a server".
constexpr int kCannotRunHere = 77;

// Reads one reply line (without CR LF) from a blocking socket.
bool readLine(QSslSocket& socket, QByteArray& line)
{
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kReplyLimitMs))
            return false;
    }
    line = socket.readLine();
    line.chop(line.endsWith("\r\n") ? 2 : (line.endsWith('\n') ? 1 : 0));
    return true;
}

bool command(QSslSocket& socket, const QByteArray& text, QByteArray& reply)
{
    socket.write(text + "\r\n");
    return readLine(socket, reply) && reply.startsWith("+OK");
}

// Sends one tagged IMAP command and reads up to its tagged reply; the untagged
// lines go to untagged. The fixture's own commands get no literals back.
bool imapCommand(QSslSocket& socket, const QByteArray& command, QByteArrayList& untagged, QByteArray& reply)
{
    static int counter = 0;
    const QByteArray tag = "f" + QByteArray::number(++counter);
    socket.write(tag + ' ' + command + "\r\n");
    while (readLine(socket, reply)) {
        if (reply.startsWith(tag + ' '))
            return reply.startsWith(tag + " OK");
        untagged << reply;
    }
    return false;
}

// The port the script wrote into a file of the instance folder; 0 for none.
quint16 portFrom(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const uint port = file.readAll().trimmed().toUInt();
    return port <= 65535 ? static_cast<quint16>(port) : 0;
}

} // namespace

DovecotFixture::DovecotFixture() = default;

DovecotFixture::~DovecotFixture() { stop(); }

bool DovecotFixture::runScript(
    const QString& program, const QStringList& arguments, QByteArray* output, const QByteArray& input)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(kScriptLimitMs)) {
        m_error = QStringLiteral("cannot run %1: %2").arg(program, process.errorString());
        return false;
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(kScriptLimitMs)) {
        process.kill();
        process.waitForFinished();
        m_error = QStringLiteral("%1 %2 did not finish").arg(program, arguments.join(u' '));
        return false;
    }
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    if (output)
        *output = process.readAllStandardOutput();
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == kCannotRunHere)
            m_skipReason = errors;
        m_error = QStringLiteral("%1 %2 failed: %3").arg(program, arguments.join(u' '), errors);
        return false;
    }
    return true;
}

bool DovecotFixture::start(Transport transport, const QString& introspectionUrl)
{
    stop();
    m_transport = transport;
    m_skipReason.clear();
    m_error.clear();
    m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tandrel-dovecot-XXXXXX"));
    if (!m_dir->isValid()) {
        m_error = QStringLiteral("cannot create a temporary folder: %1").arg(m_dir->errorString());
        return false;
    }
    QByteArray output;
    QStringList arguments { kFixtureScript, QStringLiteral("start"), m_dir->path() };
    if (transport == Transport::Tls)
        arguments << QStringLiteral("tls");
    if (!introspectionUrl.isEmpty())
        arguments << QStringLiteral("oauth2=") + introspectionUrl;
    if (!runScript(QStringLiteral("bash"), arguments, &output))
        return false;
    bool ok = false;
    const uint port = output.trimmed().split('\n').constLast().toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        m_error = QStringLiteral("the fixture printed no port: %1").arg(QString::fromLocal8Bit(output));
        runScript(QStringLiteral("bash"), { kFixtureScript, QStringLiteral("stop"), m_dir->path() });
        return false;
    }
    m_port = static_cast<quint16>(port);
    m_imapPort = portFrom(m_dir->filePath(QStringLiteral("imap-port")));
    m_imapTlsPort = portFrom(m_dir->filePath(QStringLiteral("imaps-port")));
    return true;
}

void DovecotFixture::stop()
{
    if (m_dir && m_port != 0)
        runScript(QStringLiteral("bash"), { kFixtureScript, QStringLiteral("stop"), m_dir->path() });
    m_port = 0;
    m_imapPort = 0;
    m_imapTlsPort = 0;
    m_dir.reset();
}

QSslCertificate DovecotFixture::authority() const
{
    if (!m_dir)
        return QSslCertificate();
    const QList<QSslCertificate> found
        = QSslCertificate::fromPath(m_dir->filePath(QStringLiteral("tls/ca.crt")), QSsl::Pem);
    return found.isEmpty() ? QSslCertificate() : found.first();
}

QString DovecotFixture::log() const
{
    if (!m_dir)
        return {};
    QFile file(m_dir->filePath(QStringLiteral("dovecot.log")));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool DovecotFixture::deliverFiles(const QByteArray& fileList)
{
    QStringList arguments { kFixtureScript, QStringLiteral("deliver"), m_dir->path() };
    for (const QByteArray& line : fileList.split('\n')) {
        if (!line.trimmed().isEmpty())
            arguments << QString::fromLocal8Bit(line.trimmed());
    }
    if (arguments.size() == 3) {
        m_error = QStringLiteral("the message maker wrote no message");
        return false;
    }
    return runScript(QStringLiteral("bash"), arguments);
}

bool DovecotFixture::deliverMessages(const QJsonArray& messages, QStringList* made)
{
    if (!isRunning()) {
        m_error = QStringLiteral("the server is not running");
        return false;
    }
    const QString outdir = m_dir->filePath(QStringLiteral("made-%1").arg(++m_batch));
    QByteArray written;
    if (!runScript(QStringLiteral("python3"), { kMessageMaker, outdir }, &written,
            QJsonDocument(messages).toJson(QJsonDocument::Compact)))
        return false;
    if (made)
        *made = QString::fromLocal8Bit(written).split(u'\n', Qt::SkipEmptyParts);
    return deliverFiles(written);
}

bool DovecotFixture::deliverBulk(int count)
{
    if (!isRunning()) {
        m_error = QStringLiteral("the server is not running");
        return false;
    }
    const QString outdir = m_dir->filePath(QStringLiteral("made-%1").arg(++m_batch));
    QByteArray written;
    return runScript(QStringLiteral("python3"),
               { kMessageMaker, QStringLiteral("--bulk"), QString::number(count), outdir }, &written)
        && deliverFiles(written);
}

QSslConfiguration DovecotFixture::trustingConfiguration() const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificate(authority());
    return configuration;
}

bool DovecotFixture::logIn(QSslSocket& socket, QByteArray& reply)
{
    if (m_transport == Transport::Tls) {
        socket.setSslConfiguration(trustingConfiguration());
        socket.connectToHostEncrypted(tlsHost(), m_port);
    } else {
        socket.connectToHost(host(), m_port);
    }
    const bool connected = m_transport == Transport::Tls ? socket.waitForEncrypted(kReplyLimitMs)
                                                         : socket.waitForConnected(kReplyLimitMs);
    return connected && readLine(socket, reply) && reply.startsWith("+OK")
        && command(socket, "USER " + user().toLatin1(), reply)
        && command(socket, "PASS " + password().toLatin1(), reply);
}

QStringList DovecotFixture::serverUidls()
{
    QStringList uidls;
    QSslSocket socket;
    QByteArray reply;
    if (!logIn(socket, reply) || !command(socket, "UIDL", reply)) {
        m_error
            = QStringLiteral("listing the server's identifiers failed: %1").arg(QString::fromLatin1(reply));
        return {};
    }
    QByteArray line;
    while (readLine(socket, line)) {
        if (line == ".") {
            command(socket, "QUIT", reply);
            return uidls;
        }
        // "<number> <identifier>"
        uidls << QString::fromLatin1(line.mid(line.indexOf(' ') + 1));
    }
    m_error = QStringLiteral("the server's identifier list ended early");
    return {};
}

bool DovecotFixture::deleteMessage(int number)
{
    QSslSocket socket;
    QByteArray reply;
    // The deletion takes effect only when QUIT is answered.
    if (!logIn(socket, reply) || !command(socket, "DELE " + QByteArray::number(number), reply)
        || !command(socket, "QUIT", reply)) {
        m_error
            = QStringLiteral("deleting message %1 failed: %2").arg(number).arg(QString::fromLatin1(reply));
        return false;
    }
    return true;
}

bool DovecotFixture::imapExamine(QSslSocket& socket, QByteArrayList& examined)
{
    QByteArray reply;
    QByteArrayList ignored;
    socket.setSslConfiguration(trustingConfiguration());
    socket.connectToHostEncrypted(tlsHost(), m_imapTlsPort);
    const bool ok = m_imapTlsPort != 0 && socket.waitForEncrypted(kReplyLimitMs) && readLine(socket, reply)
        && reply.startsWith("* OK")
        && imapCommand(socket, "LOGIN " + user().toLatin1() + ' ' + password().toLatin1(), ignored, reply)
        && imapCommand(socket, "EXAMINE INBOX", examined, reply);
    if (!ok)
        m_error = QStringLiteral("examining INBOX over IMAP failed: %1 %2")
                      .arg(QString::fromLatin1(reply), socket.errorString());
    return ok;
}

quint32 DovecotFixture::uidValidity()
{
    static const QRegularExpression code(QStringLiteral(R"(^\* OK \[UIDVALIDITY (\d+)\])"));
    QSslSocket socket;
    QByteArrayList examined;
    if (!imapExamine(socket, examined))
        return 0;
    QByteArray reply;
    imapCommand(socket, "LOGOUT", examined, reply);
    for (const QByteArray& line : std::as_const(examined)) {
        const QRegularExpressionMatch match = code.match(QString::fromLatin1(line));
        if (match.hasMatch())
            return match.captured(1).toUInt();
    }
    m_error = QStringLiteral("EXAMINE named no UIDVALIDITY");
    return 0;
}

bool DovecotFixture::changeUidValidity()
{
    const quint32 before = uidValidity();
    if (before == 0)
        return false;
    // Any other nonzero 32-bit number will do.
    const quint32 wanted = before == 0xFFFFFFFFu ? 1 : before + 1;
    if (!runScript(QStringLiteral("bash"),
            { kFixtureScript, QStringLiteral("uidvalidity"), m_dir->path(), QString::number(wanted) }))
        return false;
    const quint32 after = uidValidity();
    if (after != wanted) {
        m_error = QStringLiteral("UIDVALIDITY is %1 after setting %2 (was %3)")
                      .arg(after)
                      .arg(wanted)
                      .arg(before);
        return false;
    }
    return true;
}

QList<QByteArrayList> DovecotFixture::imapFlags()
{
    static const QRegularExpression exists(QStringLiteral(R"(^\* (\d+) EXISTS$)"));
    static const QRegularExpression fetched(QStringLiteral(R"(^\* (\d+) FETCH \(FLAGS \(([^)]*)\)\)$)"));
    QSslSocket socket;
    QByteArrayList examined;
    if (!imapExamine(socket, examined))
        return {};
    qsizetype count = 0;
    for (const QByteArray& line : std::as_const(examined)) {
        const QRegularExpressionMatch match = exists.match(QString::fromLatin1(line));
        if (match.hasMatch())
            count = match.captured(1).toInt();
    }
    QByteArrayList lines;
    QByteArray reply;
    if (count == 0) {
        imapCommand(socket, "LOGOUT", lines, reply);
        return {};
    }
    if (!imapCommand(socket, "FETCH 1:* (FLAGS)", lines, reply)) {
        m_error = QStringLiteral("reading the flags failed: %1").arg(QString::fromLatin1(reply));
        return {};
    }
    QList<QByteArrayList> flags(count);
    qsizetype seen = 0;
    for (const QByteArray& line : std::as_const(lines)) {
        const QRegularExpressionMatch match = fetched.match(QString::fromLatin1(line));
        const qsizetype number = match.hasMatch() ? match.captured(1).toInt() : 0;
        if (number < 1 || number > count)
            continue;
        ++seen;
        for (const QByteArray& flag : match.captured(2).toLatin1().split(' ')) {
            if (!flag.isEmpty() && flag.compare("\\Recent", Qt::CaseInsensitive) != 0)
                flags[number - 1] << flag;
        }
    }
    imapCommand(socket, "LOGOUT", lines, reply);
    if (seen != count) {
        m_error = QStringLiteral("%1 of %2 messages had their flags listed").arg(seen).arg(count);
        return {};
    }
    return flags;
}
