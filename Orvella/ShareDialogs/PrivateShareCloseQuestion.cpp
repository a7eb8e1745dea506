#include "Orvella/ShareDialogs/PrivateShareCloseQuestion.hpp"

#include <chrono>

namespace Orvella {

PrivateShareCloseQuestion::PrivateShareCloseQuestion(
    Reactive::Property<bool> needsConfirmation, std::shared_ptr<AlertPresenter> alerts, Reactive::DateSchedulerPtr mainQueue)
    : m_needsConfirmation(std::move(needsConfirmation))
    , m_alerts(std::move(alerts))
    , m_mainQueue(std::move(mainQueue))
{
}

Alert PrivateShareCloseQuestion::alert()
{
    return Alert {
        .messageText = "Möchten Sie die Erstellung der Freigabe abbrechen?",
        .informativeText = "Ihre Eingaben werden verworfen. Es wird keine Freigabe angelegt.",
        .style = AlertStyle::warning,
        .buttons = { "Freigabe abbrechen", "Freigabe fortsetzen" },
        .cancelButton = 1,
    };
}

bool PrivateShareCloseQuestion::windowShouldClose(std::function<void()> close)
{
    if (!m_needsConfirmation.value()) {
        return true;
    }
    if (m_alerts->runModal(alert()) == AlertPresenter::firstButton) {
        using namespace std::chrono_literals;
        (void)m_mainQueue->schedule(m_mainQueue->currentDate() + 350ms, std::move(close));
    }
    return false;
}

} // namespace Orvella
