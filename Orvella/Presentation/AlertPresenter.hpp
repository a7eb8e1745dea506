#pragma once

#include <cstddef>
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
    // The position in `buttons` of the answer that changes nothing; Escape
    // and closing the alert give it, so no key the user presses to get rid
    // of a question deletes, discards or logs out.
    std::size_t cancelButton = 0;
};

// Shows alerts modally. The answer is `firstButton` for the first button,
// `firstButton + 1` for the second, and so on; Escape and closing the alert
// answer the alert's `cancelButton`. Main thread only.
class AlertPresenter {
public:
    static constexpr int firstButton = 1000;

    virtual ~AlertPresenter() = default;

    virtual int runModal(const Alert& alert) = 0;
};

} // namespace Orvella
