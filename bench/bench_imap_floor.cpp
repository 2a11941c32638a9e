// The floor for an IMAP check's time: the commands a first check sends
// (LOGIN, EXAMINE INBOX, UID SEARCH UNSEEN, then UID FETCH of the headers,
// 500 UIDs a command, each sent once the one before is answered), over one
// TLS connection, reading every reply to its tagged answer and doing nothing
// else with it.
//
//   bench_imap_floor <port> <authority.pem> [runs]
//
// Connects to localhost, whose certificate the authority signed. Prints one
// line per run: messages, milliseconds, CPU milliseconds.

#include "ScriptedMailbox.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSslConfiguration>
#include <QSslSocket>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kWaitMs = 60000;
constexpr qsizetype kBatch = 500;

class Floor {
public:
    explicit Floor(QSslSocket& socket)
        : m_socket(socket)
    {
    }

    // Sends a command and reads up to its tagged answer; the answer's line
    // goes to `last`, everything before it to `untagged` when asked for.
    bool command(const QByteArray& line, QByteArray* untagged = nullptr)
    {
        const QByteArray tag = 'A' + QByteArray::number(++m_tag) + ' ';
        m_socket.write(tag + line + "\r\n");
        // As if after a line end, so that an answer that comes first is found too.
        m_held = "\r\n";
        for (;;) {
            const qsizetype at = m_held.indexOf("\r\n" + tag);
            const qsizetype end = at < 0 ? -1 : m_held.indexOf("\r\n", at + 2);
            if (end >= 0) {
                if (untagged)
                    *untagged = m_held.first(at + 2);
                return m_held.sliced(at + 2 + tag.size()).startsWith("OK");
            }
            if (!m_socket.waitForReadyRead(kWaitMs))
                return false;
            // Only what may hold the tagged answer is kept, unless the
            // caller wants the untagged part.
            if (!untagged && m_held.size() > 4096)
                m_held = m_held.last(64);
            m_held += m_socket.readAll();
        }
    }

    bool greeted()
    {
        m_held = "\r\n";
        while (!m_held.endsWith("\r\n") || m_held.size() < 3) {
            if (!m_socket.waitForReadyRead(kWaitMs))
                return false;
            m_held += m_socket.readAll();
        }
        return true;
    }

private:
    QSslSocket& m_socket;
    int m_tag = 0;
    QByteArray m_held;
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <port> <authority.pem> [runs]\n", argv[0]);
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const auto port = quint16(std::atoi(argv[1]));
    QFile authority(QString::fromLocal8Bit(argv[2]));
    if (!authority.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[2]);
        return 2;
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setCaCertificates(QSslCertificate::fromData(authority.readAll()));
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 1;

    for (int run = 0; run < runs; ++run) {
        const double cpuBefore = ProcessCpuMs();
        QElapsedTimer clock;
        clock.start();
        QSslSocket socket;
        socket.setSslConfiguration(configuration);
        socket.connectToHostEncrypted(QStringLiteral("localhost"), port);
        Floor floor(socket);
        QByteArray found;
        if (!socket.waitForEncrypted(kWaitMs) || !floor.greeted() || !floor.command("LOGIN taro secret")
            || !floor.command("EXAMINE INBOX") || !floor.command("UID SEARCH UNSEEN", &found)) {
            std::printf("floor failed: %s\n", qPrintable(socket.errorString()));
            return 1;
        }
        QByteArrayList uids = found.trimmed().split(' ');
        uids.erase(uids.begin(), uids.begin() + std::min<qsizetype>(2, uids.size())); // "*", "SEARCH"
        for (qsizetype start = 0; start < uids.size(); start += kBatch) {
            if (!floor.command("UID FETCH " + uids.mid(start, kBatch).join(',')
                    + " (UID BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)])")) {
                std::printf("floor failed at FETCH\n");
                return 1;
            }
        }
        floor.command("LOGOUT");
        std::printf("floor messages=%lld ms=%.1f cpu_ms=%.1f\n", static_cast<long long>(uids.size()),
            double(clock.nsecsElapsed()) / 1e6, ProcessCpuMs() - cpuBefore);
    }
    return 0;
}
