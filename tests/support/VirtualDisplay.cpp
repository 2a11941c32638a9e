#include "VirtualDisplay.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QList>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <poll.h>
#include <sys/prctl.h>
#include <xcb/xcb.h>

namespace {

// Only a display that cannot start waits this long: a machine busy with a
// parallel build, or a first start that fills the font caches, takes many
// seconds where an idle one takes a fraction of one.
constexpr int kStartLimitMs = 3 * 60 * 1000;
// How often the wait looks again without news from the server: whether a
// process has ended, at what is not listened to (a client becoming viewable
// once its frame is mapped), and to ask the window manager again.
constexpr int kRecheckMs = 200;
constexpr int kAttempts = 3;

// How much of a client's log an error report quotes.
constexpr qint64 kLogTail = 2000;

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <class T> using Reply = std::unique_ptr<T, FreeReply>;

// A test that is killed (a time-out of the test runner) has no destructor
// run; its server and clients then go with it rather than stay behind.
void EndWithTheTest(QProcess& process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

bool Ended(QProcess& process)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(0);
}

// A display number no server uses, seen from here or from a neighbour that
// shares this machine's network but not its /tmp: X clients try the abstract
// socket of a number first, so a number taken there would lead them to
// another server.
int FreeDisplayNumber(int attempt)
{
    QFile sockets(QStringLiteral("/proc/net/unix"));
    const QByteArray inUse = sockets.open(QIODevice::ReadOnly) ? sockets.readAll() : QByteArray();
    const int first = 100 + int((QCoreApplication::applicationPid() * 7 + attempt * 131) % 800);
    for (int i = 0; i < 800; ++i) {
        const int number = 100 + (first - 100 + i) % 800;
        const QByteArray name = "/tmp/.X11-unix/X" + QByteArray::number(number);
        if (QFile::exists(QString::fromLatin1(name))
            || QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(number)))
            continue;
        if (inUse.contains("@" + name + "\n"))
            continue;
        return number;
    }
    return -1;
}

} // namespace

// A connection of its own that listens to the root window, where a window
// manager announces itself and lists what it manages and a tray host
// announces its selection, so that start-up waits on what the server says
// rather than on a guess at how long a client takes.
class VirtualDisplay::RootWatch {
public:
    explicit RootWatch(const QString& display)
        : m_connection(xcb_connect(display.toLocal8Bit().constData(), nullptr))
    {
        if (Broken())
            return;
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
        // Listening starts before the first look, so nothing said in between
        // is missed. Not to the root's children: the requests sent below would
        // come back that way and wake the wait at once.
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, m_root, XCB_CW_EVENT_MASK, &events);
        m_wmCheck = Atom("_NET_SUPPORTING_WM_CHECK");
        m_clientList = Atom("_NET_CLIENT_LIST");
        m_traySelection = Atom("_NET_SYSTEM_TRAY_S0");
        m_frameExtentsRequest = Atom("_NET_REQUEST_FRAME_EXTENTS");
        m_frameExtents = Atom("_NET_FRAME_EXTENTS");
        // Never mapped: it only carries the window manager's answer.
        m_asker = xcb_generate_id(m_connection);
        const uint32_t askerEvents = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_asker, m_root, 0, 0, 1, 1, 0,
            XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &askerEvents);
    }
    ~RootWatch() { xcb_disconnect(m_connection); }

    RootWatch(const RootWatch&) = delete;
    RootWatch& operator=(const RootWatch&) = delete;

    bool Broken() const { return xcb_connection_has_error(m_connection) != 0; }

    // Returns once the server has said something, or after at most the given time.
    void WaitForNews(int ms)
    {
        xcb_flush(m_connection);
        bool queued = false;
        while (Reply<xcb_generic_event_t> event { xcb_poll_for_queued_event(m_connection) })
            queued = true;
        if (queued)
            return;
        pollfd connection { xcb_get_file_descriptor(m_connection), POLLIN, 0 };
        if (poll(&connection, 1, ms) > 0) {
            while (Reply<xcb_generic_event_t> event { xcb_poll_for_event(m_connection) }) { }
        }
    }

    // A window manager names its check window on the root window and on the
    // window itself; a name left behind by one that has gone points nowhere.
    bool WindowManagerAnnounced() const
    {
        const QList<xcb_window_t> named = Windows(m_root, m_wmCheck);
        return named.size() == 1 && Windows(named.front(), m_wmCheck) == named;
    }

    // A window manager announces itself before it has finished starting, and
    // openbox leaves what it was sent meanwhile unanswered until something
    // else wakes it: a tray host that maps its bar then would wait for ever.
    // So the manager counts as at work once it answers a request, which is
    // sent again at each look until it does; each one also wakes it.
    bool WindowManagerAnswers()
    {
        xcb_generic_error_t* error = nullptr;
        const Reply<xcb_get_property_reply_t> answer(xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 0, m_asker, m_frameExtents, XCB_ATOM_CARDINAL, 0, 4), &error));
        std::free(error);
        if (answer && answer->type == XCB_ATOM_CARDINAL)
            return true;
        xcb_client_message_event_t request {};
        request.response_type = XCB_CLIENT_MESSAGE;
        request.format = 32;
        request.window = m_asker;
        request.type = m_frameExtentsRequest;
        xcb_send_event(m_connection, 0, m_root,
            XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
            reinterpret_cast<const char*>(&request));
        return false;
    }

    // Icons can dock once the selection has an owner; the bar is on screen
    // once the window manager shows a client, the only one on this display.
    bool TrayHostShown() const
    {
        xcb_generic_error_t* error = nullptr;
        const Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
            m_connection, xcb_get_selection_owner(m_connection, m_traySelection), &error));
        std::free(error);
        if (!owner || owner->owner == XCB_NONE)
            return false;
        for (const xcb_window_t client : Windows(m_root, m_clientList)) {
            const Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
                m_connection, xcb_get_window_attributes(m_connection, client), &error));
            std::free(error);
            error = nullptr;
            if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE)
                return true;
        }
        return false;
    }

private:
    xcb_atom_t Atom(const char* name) const
    {
        const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, uint16_t(qstrlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_NONE);
    }

    // The windows a property lists; none when the window has gone meanwhile.
    QList<xcb_window_t> Windows(xcb_window_t window, xcb_atom_t property) const
    {
        xcb_generic_error_t* error = nullptr;
        const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection,
            xcb_get_property(m_connection, 0, window, property, XCB_ATOM_WINDOW, 0, 1024), &error));
        std::free(error);
        if (!reply || reply->type != XCB_ATOM_WINDOW || reply->format != 32)
            return {};
        const auto* first = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
        return QList<xcb_window_t>(
            first, first + xcb_get_property_value_length(reply.get()) / int(sizeof(xcb_window_t)));
    }

    xcb_connection_t* m_connection;
    xcb_window_t m_root = XCB_NONE;
    xcb_atom_t m_wmCheck = XCB_NONE;
    xcb_atom_t m_clientList = XCB_NONE;
    xcb_atom_t m_traySelection = XCB_NONE;
    xcb_atom_t m_frameExtentsRequest = XCB_NONE;
    xcb_atom_t m_frameExtents = XCB_NONE;
    xcb_window_t m_asker = XCB_NONE;
};

VirtualDisplay::VirtualDisplay()
    : m_limit(kStartLimitMs)
{
    if (!m_logs.isValid()) {
        m_error = QStringLiteral("no folder for the display's logs: ") + m_logs.errorString();
        return;
    }
    if (!StartServer())
        return;
    RootWatch watch(m_name);
    if (watch.Broken()) {
        m_error = QStringLiteral("no connection to Xvfb on ") + m_name;
        return;
    }
    if (!StartOnDisplay(m_windowManager, QStringLiteral("openbox"), {})
        || !WaitUntil(watch, m_windowManager,
            QStringLiteral("_NET_SUPPORTING_WM_CHECK on the root window naming a window that names itself"),
            [&watch] { return watch.WindowManagerAnnounced(); })
        || !WaitUntil(watch, m_windowManager,
            QStringLiteral("_NET_FRAME_EXTENTS set in answer to _NET_REQUEST_FRAME_EXTENTS"),
            [&watch] { return watch.WindowManagerAnswers(); }))
        return;
    // Once its bar is on screen it no longer competes with the tests' first
    // window for the focus.
    if (!StartOnDisplay(m_trayHost, QStringLiteral("trayer"),
            { QStringLiteral("--edge"), QStringLiteral("bottom"), QStringLiteral("--align"),
                QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                QStringLiteral("--height"), QStringLiteral("24"), QStringLiteral("--SetDockType"),
                QStringLiteral("true") })
        || !WaitUntil(watch, m_trayHost,
            QStringLiteral("an owner of the _NET_SYSTEM_TRAY_S0 selection and a viewable client in "
                           "_NET_CLIENT_LIST"),
            [&watch] { return watch.TrayHostShown(); }))
        return;
    qputenv("DISPLAY", m_name.toLocal8Bit());
}

VirtualDisplay::~VirtualDisplay()
{
    for (QProcess* process : { &m_trayHost, &m_windowManager, &m_server }) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
}

bool VirtualDisplay::StartServer()
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const int number = FreeDisplayNumber(attempt);
        if (number < 0)
            break;
        if (StartServerOn(number))
            return true;
        if (m_limit.hasExpired())
            return false;
    }
    if (m_error.isEmpty())
        m_error = QStringLiteral("no free display number");
    return false;
}

bool VirtualDisplay::StartServerOn(int number)
{
    m_server.setProgram(QStringLiteral("Xvfb"));
    EndWithTheTest(m_server);
    m_server.setArguments({ QLatin1Char(':') + QString::number(number), QStringLiteral("-displayfd"),
        QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"), QStringLiteral("1024x768x24"),
        QStringLiteral("-nolisten"), QStringLiteral("tcp") });
    m_server.setStandardErrorFile(m_logs.filePath(QStringLiteral("Xvfb.log")));
    m_server.start();
    if (!m_server.waitForStarted(int(qMax<qint64>(1, m_limit.remainingTime())))) {
        m_error = QStringLiteral("Xvfb does not start: ") + m_server.errorString();
        return false;
    }
    // The server writes its number once it accepts connections; until then a
    // client would find no socket, or one that refuses it.
    QByteArray written;
    while (!written.contains('\n')) {
        if (Ended(m_server)) {
            m_error = QStringLiteral("Xvfb ended at start-up on :%1\n").arg(number) + LogOf(m_server);
            return false;
        }
        if (m_limit.hasExpired()) {
            m_error = QStringLiteral("Xvfb did not write its display number (it does once it accepts "
                                     "connections) within %1 s\n")
                          .arg(kStartLimitMs / 1000)
                + LogOf(m_server);
            m_server.kill();
            m_server.waitForFinished(5000);
            return false;
        }
        m_server.waitForReadyRead(int(qMax<qint64>(1, m_limit.remainingTime())));
        written += m_server.readAllStandardOutput();
    }
    m_name = QLatin1Char(':') + QString::number(number);
    return true;
}

bool VirtualDisplay::StartOnDisplay(QProcess& process, const QString& program, const QStringList& arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_name);
    process.setProcessEnvironment(env);
    EndWithTheTest(process);
    process.setStandardOutputFile(QProcess::nullDevice());
    // A file rather than a pipe: nobody reads a pipe once the tests run, and
    // a client that fills one stops where it writes.
    process.setStandardErrorFile(m_logs.filePath(program + QStringLiteral(".log")));
    process.start(program, arguments);
    if (!process.waitForStarted(int(qMax<qint64>(1, m_limit.remainingTime())))) {
        m_error = program + QStringLiteral(" does not start: ") + process.errorString();
        return false;
    }
    return true;
}

bool VirtualDisplay::WaitUntil(
    RootWatch& watch, QProcess& client, const QString& awaited, const std::function<bool()>& shown)
{
    const QString name = client.program();
    while (!shown()) {
        if (watch.Broken() || Ended(m_server)) {
            m_error = QStringLiteral("Xvfb ended or dropped the connection while waiting for ") + awaited
                + QLatin1Char('\n') + LogOf(m_server);
            return false;
        }
        if (Ended(client)) {
            m_error = name
                + QStringLiteral(" ended with code %1 before the server showed ").arg(client.exitCode())
                + awaited + QLatin1Char('\n') + LogOf(client);
            return false;
        }
        if (m_limit.hasExpired()) {
            m_error = name
                + QStringLiteral(" was not ready in %1 s: the server never showed ").arg(kStartLimitMs / 1000)
                + awaited + QLatin1Char('\n') + LogOf(client);
            return false;
        }
        watch.WaitForNews(int(qMin<qint64>(kRecheckMs, qMax<qint64>(1, m_limit.remainingTime()))));
    }
    return true;
}

QString VirtualDisplay::LogOf(const QProcess& process) const
{
    QFile log(m_logs.filePath(QFileInfo(process.program()).fileName() + QStringLiteral(".log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    log.seek(qMax<qint64>(0, log.size() - kLogTail));
    return QString::fromLocal8Bit(log.readAll()).trimmed();
}
