#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <vector>

class QKeyEvent;

// What the window system does for a framed window and a window drawn without a
// frame must do itself: close hot spots, Alt+F4, and moving the window by
// dragging its background. The window owns one and connects its signals to
// its own handlers; the chrome only watches events and never closes anything.
class BorderlessChrome final : public QObject {
    Q_OBJECT

public:
    enum class Drag { ByBackground, Never };

    // Watches the window's keys and, with Drag::ByBackground, every mouse move
    // that reaches the window itself, be it on its face or passed up from a
    // child that did not take it.
    BorderlessChrome(QWidget& window, Drag drag);

    // Makes the control the close hot spot with this index, replacing an
    // earlier one of the same index. Its mouse activity is its own: a drag
    // that starts on it never moves the window.
    void AddCloseSpot(QWidget& spot, int index);

    // Lets the window see this control's key presses before the control does,
    // for controls that would otherwise take Alt+F4 for themselves.
    void WatchKeysOf(QWidget& control);

    // F4 with Alt and neither Shift nor Ctrl.
    static bool IsCloseKey(const QKeyEvent& event);

Q_SIGNALS:
    // A left press and release on the same hot spot.
    void CloseSpotClicked(int index);
    void CloseKeyPressed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int SpotIndex(const QObject* watched) const;

    QWidget& m_window;
    const Drag m_drag;
    std::vector<QPointer<QWidget>> m_spots;
    int m_pressedSpot = -1;
};
