#include "ui/BorderlessChrome.h"

#include "ui/helpers/Fun_MouseOperate.h"

#include <QKeyEvent>
#include <QMouseEvent>

BorderlessChrome::BorderlessChrome(QWidget& window, Drag drag)
    : QObject(&window)
    , m_window(window)
    , m_drag(drag)
{
    window.installEventFilter(this);
}

void BorderlessChrome::AddCloseSpot(QWidget& spot, int index)
{
    if (index < 0)
        return;
    if (std::size_t(index) >= m_spots.size())
        m_spots.resize(std::size_t(index) + 1);
    m_spots[std::size_t(index)] = &spot;
    spot.setAttribute(Qt::WA_NoMousePropagation);
    spot.installEventFilter(this);
}

void BorderlessChrome::WatchKeysOf(QWidget& control) { control.installEventFilter(this); }

bool BorderlessChrome::IsCloseKey(const QKeyEvent& event)
{
    // Keypad and other modifiers do not make it another key.
    const Qt::KeyboardModifiers held
        = event.modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    return event.key() == Qt::Key_F4 && held == Qt::AltModifier;
}

int BorderlessChrome::SpotIndex(const QObject* watched) const
{
    for (std::size_t i = 0; i < m_spots.size(); ++i) {
        if (m_spots[i] && m_spots[i] == watched)
            return int(i);
    }
    return -1;
}

bool BorderlessChrome::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
        if (IsCloseKey(*static_cast<QKeyEvent*>(event))) {
            Q_EMIT CloseKeyPressed();
            return true;
        }
        break;
    case QEvent::MouseMove:
        // The window system's own move only starts while the left button is held.
        if (watched == &m_window && m_drag == Drag::ByBackground)
            Fun_MouseOperate::DragWindow(m_window);
        break;
    case QEvent::MouseButtonPress:
        if (const int index = SpotIndex(watched); index >= 0) {
            m_pressedSpot = static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton ? index : -1;
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
        if (const int index = SpotIndex(watched); index >= 0) {
            const auto* release = static_cast<QMouseEvent*>(event);
            const bool clicked = m_pressedSpot == index && release->button() == Qt::LeftButton
                && m_spots[std::size_t(index)]->rect().contains(release->position().toPoint());
            m_pressedSpot = -1;
            // The handler may close the window; nothing of the spot is touched after it.
            if (clicked)
                Q_EMIT CloseSpotClicked(index);
            return true;
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
