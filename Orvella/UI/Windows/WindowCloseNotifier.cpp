#include "Orvella/UI/Windows/WindowCloseNotifier.hpp"

#include "Orvella/Windows/WindowVisibilityController.hpp"

#include <QEvent>
#include <QWidget>

namespace Orvella {

namespace {

class CloseFilter final : public QObject {
public:
    CloseFilter(QWidget* window, Platform::NotificationCenter& center) : QObject(window), m_center(center) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Close) {
            m_center.post(std::string(windowWillCloseNotification), static_cast<const void*>(static_cast<QWidget*>(watched)));
        }
        return false;
    }

private:
    Platform::NotificationCenter& m_center;
};

} // namespace

void postWillCloseNotifications(QWidget* window, Platform::NotificationCenter& center)
{
    window->installEventFilter(new CloseFilter(window, center));
}

} // namespace Orvella
