#pragma once

#include "Orvella/Preferences/GeneralPreferencesViewModel.hpp"
#include "Orvella/Presentation/NavigatorActions.hpp"

#include <QWidget>

#include <memory>

class QCheckBox;
class QLabel;
class QPushButton;

namespace Orvella {

// The general pane: three check boxes set once from the settings, and only
// the user's clicks write back (a change made elsewhere does not move them);
// the usage-tracking box is inverted both ways. The version label, and the
// button that opens the proxy settings over the window.
class GeneralPreferencesViewController final : public QWidget {
    Q_OBJECT

public:
    explicit GeneralPreferencesViewController(std::shared_ptr<GeneralPreferencesViewModel> viewModel,
        std::shared_ptr<NavigatorActions> actions = nullptr, QWidget* parent = nullptr);

    [[nodiscard]] QCheckBox* launchOnStartupButton() const { return m_launchOnStartupButton; }
    [[nodiscard]] QCheckBox* enableDesktopNotificationsButton() const { return m_enableDesktopNotificationsButton; }
    [[nodiscard]] QCheckBox* enableUsageTrackingButton() const { return m_enableUsageTrackingButton; }
    [[nodiscard]] QLabel* versionLabel() const { return m_versionLabel; }
    [[nodiscard]] QPushButton* proxyButton() const { return m_proxyButton; }

private:
    std::shared_ptr<GeneralPreferencesViewModel> m_viewModel;
    std::shared_ptr<NavigatorActions> m_actions;
    QCheckBox* m_launchOnStartupButton;
    QCheckBox* m_enableDesktopNotificationsButton;
    QCheckBox* m_enableUsageTrackingButton;
    QLabel* m_versionLabel;
    QPushButton* m_proxyButton;
};

} // namespace Orvella
