#pragma once

// Quarlink/Errors: every failure the API client hands to the application, as a
// typed value that can present itself to the user in German.

#include "Quarlink/Errors/RecoveryInfo.hpp"

#include <optional>
#include <string>

namespace Quarlink {

// An error that can be shown to the user: a headline, an explanation and an
// optional recovery offer. Every error type of this library derives from both
// `Reactive::Error` (so it travels in a `Reactive::AnyError`) and this
// interface; `anyError.as<PresentableError>()` finds it through the erasure.
// Implementations are immutable values; all members may be called on any thread.
class PresentableError {
public:
    virtual ~PresentableError() = default;

    // The headline of an alert or notification.
    [[nodiscard]] virtual std::string subject() const = 0;
    // The explanatory text below the headline.
    [[nodiscard]] virtual std::string reason() const = 0;
    // What the presenter may offer to do about it; absent unless an error says otherwise.
    [[nodiscard]] virtual std::optional<RecoveryInfo> recoveryInfo() const { return std::nullopt; }

protected:
    PresentableError() = default;
    PresentableError(const PresentableError&) = default;
    PresentableError& operator=(const PresentableError&) = default;
};

} // namespace Quarlink
