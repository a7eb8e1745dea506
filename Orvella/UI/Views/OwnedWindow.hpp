#pragma once

#include <QPointer>
#include <QWidget>

namespace Orvella {

// The top-level window a window controller makes on first use and owns.
// When the controller goes, the window is freed with `deleteLater()`: the
// controller may be released from inside the window's own close event.
template<class Window = QWidget>
class OwnedWindow {
public:
    OwnedWindow() = default;
    OwnedWindow(const OwnedWindow&) = delete;
    OwnedWindow& operator=(const OwnedWindow&) = delete;
    ~OwnedWindow()
    {
        if (m_window) {
            m_window->deleteLater();
        }
    }

    [[nodiscard]] Window* get() const { return m_window.data(); }
    [[nodiscard]] explicit operator bool() const { return !m_window.isNull(); }
    void set(Window* window) { m_window = window; }

    // Shows the window in front.
    void show() const
    {
        m_window->show();
        m_window->raise();
        m_window->activateWindow();
    }

    void close() const
    {
        if (m_window) {
            m_window->close();
        }
    }

private:
    QPointer<Window> m_window;
};

} // namespace Orvella
