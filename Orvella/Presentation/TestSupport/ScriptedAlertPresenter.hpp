#pragma once

#include "Orvella/Presentation/AlertPresenter.hpp"

#include <deque>
#include <vector>

namespace Orvella {

// Records the alerts shown and answers each with the next scripted answer
// (the first button once the script is used up).
class ScriptedAlertPresenter final : public AlertPresenter {
public:
    std::vector<Alert> shown;
    std::deque<int> answers;

    int runModal(const Alert& alert) override
    {
        shown.push_back(alert);
        if (answers.empty()) {
            return firstButton;
        }
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

} // namespace Orvella
