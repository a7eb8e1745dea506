#pragma once

#include "Orvella/Presentation/NavigatorActions.hpp"

#include <QDialog>
#include <QWidget>

#include <memory>

class QPushButton;

namespace Orvella {

class SettingsManager;

// The feedback pane: buttons for the contact and the help pages. It edits no setting.
class FeedbackPreferencesViewController final : public QWidget {
    Q_OBJECT

public:
    explicit FeedbackPreferencesViewController(std::shared_ptr<NavigatorActions> actions, QWidget* parent = nullptr);

    [[nodiscard]] QPushButton* contactButton() const { return m_contactButton; }
    [[nodiscard]] QPushButton* helpButton() const { return m_helpButton; }

private:
    QPushButton* m_contactButton;
    QPushButton* m_helpButton;
};

// The proxy pane, an informational sheet: the application uses the
// system's proxy settings. It holds the settings manager it is given but
// edits no setting; "Schließen" closes it.
class ProxyPreferencesViewController final : public QDialog {
    Q_OBJECT

public:
    explicit ProxyPreferencesViewController(std::shared_ptr<SettingsManager> settingsManager = nullptr, QWidget* parent = nullptr);

    [[nodiscard]] QPushButton* closeButton() const { return m_closeButton; }
    [[nodiscard]] const std::shared_ptr<SettingsManager>& settingsManager() const { return m_settingsManager; }

private:
    std::shared_ptr<SettingsManager> m_settingsManager;
    QPushButton* m_closeButton;
};

} // namespace Orvella
