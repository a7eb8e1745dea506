#include "Orvella/Windows/PopoverVisibilityController.hpp"

#include <utility>

namespace Orvella {

PopoverVisibilityController::PopoverVisibilityController(CreatePopover createPopover, Reactive::DateSchedulerPtr clock)
    : m_createPopover(std::move(createPopover))
    , m_clock(std::move(clock))
    , m_closedByItselfAt(std::make_shared<std::optional<Reactive::DateScheduler::TimePoint>>())
{
}

StatusPopover& PopoverVisibilityController::popover()
{
    if (!m_popover) {
        m_popover = m_createPopover();
        std::weak_ptr<std::optional<Reactive::DateScheduler::TimePoint>> closedAt = m_closedByItselfAt;
        std::weak_ptr<Reactive::DateScheduler> weakClock = m_clock;
        m_popover->setClosedByItself([closedAt, weakClock] {
            auto mark = closedAt.lock();
            auto clock = weakClock.lock();
            if (mark && clock) {
                *mark = clock->currentDate();
            }
        });
    }
    return *m_popover;
}

void PopoverVisibilityController::toggle(const std::any& sender)
{
    if (popover().isShown()) {
        close();
        return;
    }
    const auto closedAt = std::exchange(*m_closedByItselfAt, std::nullopt);
    if (closedAt && m_clock->currentDate() - *closedAt <= reopenGuard) {
        return;
    }
    show(sender);
}

void PopoverVisibilityController::show(const std::any& sender)
{
    m_closedByItselfAt->reset();
    popover().show(sender);
}

void PopoverVisibilityController::close()
{
    popover().close();
}

} // namespace Orvella
