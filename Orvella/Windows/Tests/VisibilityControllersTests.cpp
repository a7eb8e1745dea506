#include "Orvella/Windows/PopoverVisibilityController.hpp"
#include "Orvella/Windows/WindowVisibilityController.hpp"

#include "Reactive/Schedulers/TestScheduler.hpp"

#include <gtest/gtest.h>

#include <memory>

using namespace Orvella;
using namespace std::chrono_literals;

namespace {

// A window controller whose window is a token; closing posts the
// will-close notification as a real window does.
class FakeWindowController {
public:
    explicit FakeWindowController(Platform::NotificationCenter& center, int& shows) : m_center(center), m_shows(shows) {}

    void showWindow()
    {
        m_window = std::make_unique<int>(0);
        ++m_shows;
    }
    void close()
    {
        if (m_window) {
            m_center.post(std::string(windowWillCloseNotification), m_window.get());
        }
    }
    const void* window() const { return m_window.get(); }

private:
    Platform::NotificationCenter& m_center;
    int& m_shows;
    std::unique_ptr<int> m_window;
};

struct WindowFixture {
    Platform::NotificationCenter center;
    int created = 0;
    int shows = 0;
    int activations = 0;
    WindowVisibilityController<FakeWindowController> controller {
        [this] {
            ++created;
            return std::make_shared<FakeWindowController>(center, shows);
        },
        [this] { ++activations; }, center
    };
};

class FakePopover final : public StatusPopover {
public:
    bool shown = false;
    std::vector<std::string> calls;
    std::function<void()> closedByItself;

    bool isShown() const override { return shown; }
    void show(const std::any& sender) override
    {
        if (sender.type() == typeid(int*)) {
            shown = true;
        }
        calls.emplace_back("show");
    }
    void close() override
    {
        shown = false;
        calls.emplace_back("close");
    }
    void setClosedByItself(std::function<void()> action) override { closedByItself = std::move(action); }

    // What the toolkit does on a click outside the popover.
    void clickOutside()
    {
        shown = false;
        closedByItself();
    }
};

} // namespace

// Showing twice keeps one controller, shows its window twice and activates twice.
TEST(WindowVisibilityControllerTests, showTwiceGivesOneControllerAndTwoActivations)
{
    WindowFixture fixture;
    fixture.controller.show();
    auto first = fixture.controller.windowController();
    fixture.controller.show();
    EXPECT_EQ(fixture.controller.windowController(), first);
    EXPECT_EQ(fixture.created, 1);
    EXPECT_EQ(fixture.shows, 2);
    EXPECT_EQ(fixture.activations, 2);
}

// Every close releases the controller, not only the first, so each show
// after a close builds a fresh one; hide without controller does nothing.
TEST(WindowVisibilityControllerTests, everyCloseReleasesTheController)
{
    WindowFixture fixture;
    fixture.controller.hide();
    EXPECT_EQ(fixture.controller.windowController(), nullptr);
    for (int round = 1; round <= 3; ++round) {
        fixture.controller.show();
        ASSERT_NE(fixture.controller.windowController(), nullptr);
        fixture.controller.hide();
        EXPECT_EQ(fixture.controller.windowController(), nullptr) << "round " << round;
        EXPECT_EQ(fixture.created, round);
    }
    fixture.controller.toggle();
    EXPECT_NE(fixture.controller.windowController(), nullptr);
    fixture.controller.toggle();
    EXPECT_EQ(fixture.controller.windowController(), nullptr);
}

// Another window's close, or a close without sender, keeps the stored controller.
TEST(WindowVisibilityControllerTests, anotherWindowsCloseKeepsTheController)
{
    WindowFixture fixture;
    fixture.controller.show();
    int otherWindow = 0;
    fixture.center.post(std::string(windowWillCloseNotification), &otherWindow);
    fixture.center.post(std::string(windowWillCloseNotification), nullptr);
    EXPECT_NE(fixture.controller.windowController(), nullptr);
}

// Destroying the owner ends its observation.
TEST(WindowVisibilityControllerTests, destructionRemovesTheObservation)
{
    Platform::NotificationCenter center;
    {
        int shows = 0;
        WindowVisibilityController<FakeWindowController> controller([&] { return std::make_shared<FakeWindowController>(center, shows); }, {}, center);
        EXPECT_EQ(center.observerCount(windowWillCloseNotification), 1u);
    }
    EXPECT_EQ(center.observerCount(windowWillCloseNotification), 0u);
}

// The popover is made on first use; toggling shows and closes it in turn;
// a sender that is no status item shows nothing.
TEST(PopoverVisibilityControllerTests, toggleSequence)
{
    auto clock = std::make_shared<Reactive::TestScheduler>();
    auto popover = std::make_shared<FakePopover>();
    int made = 0;
    PopoverVisibilityController controller([&] { ++made; return popover; }, clock);
    EXPECT_EQ(made, 0);
    int item = 0;
    controller.toggle(std::any(&item));
    EXPECT_TRUE(popover->shown);
    controller.toggle(std::any(&item));
    EXPECT_FALSE(popover->shown);
    controller.toggle(std::any(&item));
    EXPECT_TRUE(popover->shown);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(popover->calls, (std::vector<std::string> { "show", "close", "show" }));

    controller.close();
    controller.show(std::any(std::string("kein Statussymbol")));
    EXPECT_FALSE(popover->shown);
}

// The click on the tray icon that closed the open popover (it was the
// outside click) does not open it again at once; a later click does, and a
// popover that closed by itself long ago opens on the next click.
TEST(PopoverVisibilityControllerTests, trayClickThatClosedThePopoverDoesNotReopenIt)
{
    auto clock = std::make_shared<Reactive::TestScheduler>();
    auto popover = std::make_shared<FakePopover>();
    PopoverVisibilityController controller([&] { return popover; }, clock);
    int item = 0;
    controller.toggle(std::any(&item));
    ASSERT_TRUE(popover->shown);

    clock->advance(5s);
    popover->clickOutside();
    clock->advance(20ms);
    controller.toggle(std::any(&item));
    EXPECT_FALSE(popover->shown);
    clock->advance(1s);
    controller.toggle(std::any(&item));
    EXPECT_TRUE(popover->shown);

    popover->clickOutside();
    clock->advance(10s);
    controller.toggle(std::any(&item));
    EXPECT_TRUE(popover->shown);
}
