#pragma once

#include "Orvella/Presentation/AlertPresenter.hpp"

namespace Orvella {

// Alerts as `QMessageBox`es: the first button is the default one; closing the
// box (Escape) answers the last button.
class QtAlertPresenter final : public AlertPresenter {
public:
    int runModal(const Alert& alert) override;
};

} // namespace Orvella
