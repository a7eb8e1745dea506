#pragma once

#include "Orvella/Presentation/AlertPresenter.hpp"

#include <string>

namespace Orvella {

// An error the application shows in an alert: a headline, an explanation and
// the alert's style.
class AlertPresentableError {
public:
    virtual ~AlertPresentableError() = default;
    [[nodiscard]] virtual std::string alertSubject() const = 0;
    [[nodiscard]] virtual std::string alertReason() const = 0;
    [[nodiscard]] virtual AlertStyle alertStyle() const = 0;
};

} // namespace Orvella
