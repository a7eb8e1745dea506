#pragma once

#include <string>
#include <vector>

namespace Orvella {

// How an alert looks; raw values as the alerts of the system number them.
enum class AlertStyle { warning = 0, informational = 1, critical = 2 };

// One modal question or message.
struct Alert {
    std::string messageText;
    std::string informativeText;
    AlertStyle style { AlertStyle::warning };
    // In order; none gives a single "OK".
    std::vector<std::string> buttons {};
};

// Shows alerts modally. The answer is `firstButton` for the first button,
// `firstButton + 1` for the second, and so on. Main thread only.
class AlertPresenter {
public:
    static constexpr int firstButton = 1000;

    virtual ~AlertPresenter() = default;

    virtual int runModal(const Alert& alert) = 0;
};

} // namespace Orvella
