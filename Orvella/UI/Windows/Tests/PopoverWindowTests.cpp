#include "Orvella/UI/Presentation/Tests/QtTestSupport.hpp"
#include "Orvella/UI/Windows/PopoverAnchor.hpp"
#include "Orvella/UI/Windows/PopoverWindow.hpp"
#include "Orvella/UI/Windows/WindowCloseNotifier.hpp"
#include "Orvella/Windows/PopoverVisibilityController.hpp"
#include "Orvella/Windows/WindowVisibilityController.hpp"

#include "Reactive/Schedulers/TestScheduler.hpp"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

using namespace Orvella;
using Orvella::Testing::processEventsUntil;

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

namespace {

// Content laid out only when shown, as the popover's views are: a fixed
// width, a height its layout decides.
QWidget* laidOutContent()
{
    auto* content = new QWidget;
    content->setFixedWidth(360);
    auto* layout = new QVBoxLayout(content);
    layout->addWidget(new QLabel(QStringLiteral("Daten sind aktuell")));
    auto* search = new QLineEdit;
    search->setObjectName(QStringLiteral("search"));
    layout->addWidget(search);
    auto* list = new QListView;
    list->setFixedHeight(5 * 48 + 4);
    layout->addWidget(list);
    layout->addWidget(new QLabel(QStringLiteral("Ordner · Web · Einstellungen")));
    return content;
}

} // namespace

// The very first popover of a session, under a tray icon on a panel at the
// bottom of the screen, whose content arrives only after it is shown (the
// container delivers it on the main queue): wholly on the screen, above the
// icon, off the panel. Escape closes it, as does a click outside it.
TEST(PopoverWindowTests, theFirstPopoverOpensOnScreenAboveABottomPanelAndClosesOnEscapeOrAClickOutside)
{
    auto clock = std::make_shared<Reactive::TestScheduler>();
    auto popover = std::make_shared<PopoverWindow>();
    PopoverVisibilityController controller([&] { return popover; }, clock);
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    FixedAnchor anchor;
    anchor.geometry = QRect(available.center().x(), available.bottom() - 23, 24, 24);
    const std::any sender(static_cast<PopoverAnchor*>(&anchor));

    controller.toggle(sender);
    ASSERT_TRUE(popover->isShown());
    auto& frame = popover->window();
    QCoreApplication::processEvents();
    popover->setContent(laidOutContent());
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frame));
    QCoreApplication::processEvents();
    const QRect placed = frame.frameGeometry();
    EXPECT_GT(placed.height(), 300) << "placed before it was laid out";
    EXPECT_TRUE(available.contains(placed)) << "popover at " << placed.x() << "," << placed.y() << " " << placed.width() << "x"
                                            << placed.height();
    EXPECT_LE(placed.bottom(), anchor.geometry.top()) << "the popover covers the icon";

    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    auto* search = frame.findChild<QLineEdit*>(QStringLiteral("search"));
    search->setFocus();
    QTest::keyClick(search, Qt::Key_Escape);
    EXPECT_FALSE(popover->isShown()) << "Escape left the popover open";

    clock->advance(std::chrono::seconds(2));
    controller.toggle(sender);
    ASSERT_TRUE(popover->isShown());
    QCoreApplication::processEvents();
    QTest::mouseClick(&frame, Qt::LeftButton, Qt::NoModifier, QPoint(-20, -20));
    EXPECT_TRUE(processEventsUntil([&] { return !popover->isShown(); })) << "a click outside left the popover open";
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
