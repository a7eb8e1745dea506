#pragma once

#include "Orvella/Presentation/AlertPresenter.hpp"

namespace Orvella {

// Alerts as `QMessageBox`es: the first button is the default one (Return);
// Escape and the window's close button answer the alert's cancel button.
class QtAlertPresenter final : public AlertPresenter {
public:
    int runModal(const Alert& alert) override;
};

} // namespace Orvella
