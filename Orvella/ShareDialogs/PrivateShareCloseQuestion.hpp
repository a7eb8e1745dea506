#pragma once

#include "Orvella/Presentation/AlertPresenter.hpp"
#include "Reactive/Property.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <functional>
#include <memory>

namespace Orvella {

// Whether the private share window may close: at once while nothing needs
// confirming; otherwise only after the user abandons the share, and then
// 0.35 s later through `close`, which asks nothing again. Main thread only.
class PrivateShareCloseQuestion {
public:
    PrivateShareCloseQuestion(Reactive::Property<bool> needsConfirmation, std::shared_ptr<AlertPresenter> alerts,
        Reactive::DateSchedulerPtr mainQueue);

    [[nodiscard]] static Alert alert();

    // True: close now. False: the window stays (for now).
    [[nodiscard]] bool windowShouldClose(std::function<void()> close);

private:
    Reactive::Property<bool> m_needsConfirmation;
    std::shared_ptr<AlertPresenter> m_alerts;
    Reactive::DateSchedulerPtr m_mainQueue;
};

} // namespace Orvella
