#include "platform/gui/DesktopBusyService.h"

#include <QGuiApplication>
#include <QMetaObject>

#if defined(TANDREL_HAVE_XCB) && QT_CONFIG(xcb)
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
template <class T> using Reply = std::unique_ptr<T, FreeReply>;

} // namespace

// Qt's own connection, where the root window's property changes already arrive.
struct DesktopBusyService::X11 {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_NONE;
    xcb_atom_t activeWindow = XCB_NONE;
    xcb_atom_t state = XCB_NONE;
    xcb_atom_t fullScreen = XCB_NONE;

    static X11* Open()
    {
        const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        if (!x11 || !x11->connection())
            return nullptr;
        auto* self = new X11;
        self->connection = x11->connection();
        self->root = xcb_setup_roots_iterator(xcb_get_setup(self->connection)).data->root;
        self->activeWindow = self->Atom("_NET_ACTIVE_WINDOW");
        self->state = self->Atom("_NET_WM_STATE");
        self->fullScreen = self->Atom("_NET_WM_STATE_FULLSCREEN");
        return self;
    }

    xcb_atom_t Atom(const char* name) const
    {
        const Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(qstrlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_NONE);
    }

    // The 32-bit values of a property; none when it or its window is gone.
    QList<quint32> Values(xcb_window_t window, xcb_atom_t property, xcb_atom_t type) const
    {
        xcb_generic_error_t* error = nullptr;
        const Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, property, type, 0, 64), &error));
        std::free(error);
        if (!reply || reply->type != type || reply->format != 32)
            return {};
        const auto* first = static_cast<const quint32*>(xcb_get_property_value(reply.get()));
        return QList<quint32>(first, first + xcb_get_property_value_length(reply.get()) / 4);
    }

    bool ActiveWindowFullScreen() const
    {
        const QList<quint32> active = Values(root, activeWindow, XCB_ATOM_WINDOW);
        if (active.isEmpty() || active.front() == XCB_NONE)
            return false;
        return Values(active.front(), state, XCB_ATOM_ATOM).contains(fullScreen);
    }

    bool IsActiveWindowChange(const QByteArray& eventType, void* message) const
    {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY)
            return false;
        const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
        return notify->window == root && notify->atom == activeWindow;
    }
};
#else
struct DesktopBusyService::X11 {
    static X11* Open() { return nullptr; }
    bool ActiveWindowFullScreen() const { return false; }
    bool IsActiveWindowChange(const QByteArray&, void*) const { return false; }
};
#endif

DesktopBusyService::DesktopBusyService()
    : m_x11(X11::Open())
{
    connect(&m_doNotDisturb, &DoNotDisturbWatch::Changed, this, &BusyService::BusyChanged);
    if (m_x11)
        QCoreApplication::instance()->installNativeEventFilter(this);
}

DesktopBusyService::~DesktopBusyService()
{
    if (m_x11 && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    delete m_x11;
}

bool DesktopBusyService::IsBusy() { return m_doNotDisturb.IsOn() || ActiveWindowFullScreen(); }

bool DesktopBusyService::ActiveWindowFullScreen() { return m_x11 && m_x11->ActiveWindowFullScreen(); }

bool DesktopBusyService::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    // Told after the event: asking the server from inside its handling would
    // hold up every other event.
    if (m_x11->IsActiveWindowChange(eventType, message))
        QMetaObject::invokeMethod(this, &BusyService::BusyChanged, Qt::QueuedConnection);
    return false;
}
