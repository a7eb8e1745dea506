#include "Orvella/Presentation/Tests/QtTestSupport.hpp"
#include "Orvella/Windows/PopoverAnchor.hpp"
#include "Orvella/Windows/PopoverVisibilityController.hpp"
#include "Orvella/Windows/PopoverWindow.hpp"
#include "Orvella/Windows/WindowCloseNotifier.hpp"
#include "Orvella/Windows/WindowVisibilityController.hpp"

#include "Reactive/Schedulers/TestScheduler.hpp"

#include <QLabel>

#include <gtest/gtest.h>

using namespace Orvella;

namespace {

class FixedAnchor final : public PopoverAnchor {
public:
    QRect geometry;
    QRect anchorGeometry() const override { return geometry; }
};

// A window controller over a real widget window; it frees its window later,
// since it is let go while the window handles its close.
class WidgetWindowController {
public:
    explicit WidgetWindowController(Platform::NotificationCenter& center) : m_center(center) {}
    ~WidgetWindowController()
    {
        if (m_window) {
            m_window.release()->deleteLater();
        }
    }
    void showWindow()
    {
        if (!m_window) {
            m_window = std::make_unique<QWidget>();
            postWillCloseNotifications(m_window.get(), m_center);
        }
        m_window->show();
    }
    void close()
    {
        if (m_window) {
            m_window->close();
        }
    }
    const void* window() const { return m_window.get(); }

private:
    Platform::NotificationCenter& m_center;
    std::unique_ptr<QWidget> m_window;
};

} // namespace

// Below the anchor, centred and kept on screen; above it for a panel at the
// bottom; at the pointer without anchor; at the top right without either.
TEST(PopoverWindowTests, positionBelowTheAnchor)
{
    const QRect screen(0, 0, 1920, 1080);
    const QSize size(360, 480);
    EXPECT_EQ(PopoverWindow::position(QRect(1000, 0, 24, 24), size, screen, std::nullopt), QPoint(831, 24));
    EXPECT_EQ(PopoverWindow::position(QRect(1900, 0, 20, 24), size, screen, std::nullopt), QPoint(1560, 24));
    EXPECT_EQ(PopoverWindow::position(QRect(1000, 1056, 24, 24), size, screen, std::nullopt), QPoint(831, 576));
    EXPECT_EQ(PopoverWindow::position(QRect(), size, screen, QPoint(100, 100)), QPoint(0, 101));
    EXPECT_EQ(PopoverWindow::position(QRect(), size, screen, std::nullopt), QPoint(1560, 0));
}

// A popup that Qt closes by itself reports it, and the visibility controller
// stays consistent: the next toggle (a later click) shows it again; a close
// on request is no close by itself.
TEST(PopoverWindowTests, closeByItselfKeepsTheControllerConsistent)
{
    auto clock = std::make_shared<Reactive::TestScheduler>();
    auto popover = std::make_shared<PopoverWindow>();
    popover->setContent(new QLabel(QStringLiteral("Inhalt")));
    PopoverVisibilityController controller([&] { return popover; }, clock);
    FixedAnchor anchor;
    anchor.geometry = QRect(500, 0, 24, 24);
    const std::any sender(static_cast<PopoverAnchor*>(&anchor));

    controller.toggle(sender);
    ASSERT_TRUE(popover->isShown());
    controller.toggle(sender);
    EXPECT_FALSE(popover->isShown());
    controller.toggle(sender);
    ASSERT_TRUE(popover->isShown());

    popover->window().close(); // what Qt does on a click outside
    EXPECT_FALSE(popover->isShown());
    clock->advance(std::chrono::seconds(2));
    controller.toggle(sender);
    EXPECT_TRUE(popover->isShown());
    controller.close();

    controller.show(std::any(42));
    EXPECT_FALSE(popover->isShown());
}

// Real windows: every close of the window releases its controller, and the
// next show builds a fresh one.
TEST(PopoverWindowTests, everyWindowCloseReleasesItsController)
{
    Platform::NotificationCenter center;
    int created = 0;
    WindowVisibilityController<WidgetWindowController> controller([&] {
        ++created;
        return std::make_shared<WidgetWindowController>(center);
    }, {}, center);
    for (int round = 1; round <= 3; ++round) {
        controller.show();
        auto* window = static_cast<QWidget*>(const_cast<void*>(controller.windowController()->window()));
        ASSERT_TRUE(window->isVisible());
        window->close(); // the user's close button
        EXPECT_EQ(controller.windowController(), nullptr) << "round " << round;
    }
    EXPECT_EQ(created, 3);
}
