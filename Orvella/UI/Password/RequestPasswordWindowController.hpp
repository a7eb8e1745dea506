#pragma once

#include "Orvella/Password/RequestPasswordViewModel.hpp"
#include "Shared/ThemeType.hpp"
#include "Orvella/Tracking/TrackingManager.hpp"

#include "Orvella/UI/Views/OwnedWindow.hpp"


#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace Orvella {

class ProgressSheet;

// The password re-entry window: the stored user name (read-only), the
// password, log in again, log out and help, and the progress sheet while a
// login runs. It applies no brand colours and records nothing itself; it
// keeps the theme and the tracking manager it is given. Its window is made
// on first use and freed with `deleteLater()` when the controller goes.
// Main thread only.
class RequestPasswordWindowController {
public:
    RequestPasswordWindowController(std::shared_ptr<RequestPasswordViewModel> viewModel, std::shared_ptr<const ThemeType> theme,
        std::shared_ptr<TrackingManager> trackingManager);
    RequestPasswordWindowController(const RequestPasswordWindowController&) = delete;
    RequestPasswordWindowController& operator=(const RequestPasswordWindowController&) = delete;

    void showWindow();
    void close();
    [[nodiscard]] const void* window() const { return m_window.get(); }
    QWidget* loadWindow();

    [[nodiscard]] const std::shared_ptr<RequestPasswordViewModel>& viewModel() const { return m_viewModel; }

    [[nodiscard]] QWidget* passwordView() const { return m_passwordView; }
    [[nodiscard]] QLineEdit* usernameField() const { return m_usernameField; }
    [[nodiscard]] QLineEdit* passwordField() const { return m_passwordField; }
    [[nodiscard]] QPushButton* loginButton() const { return m_loginButton; }
    [[nodiscard]] QPushButton* logoutButton() const { return m_logoutButton; }
    [[nodiscard]] QPushButton* helpButton() const { return m_helpButton; }
    [[nodiscard]] QLabel* errorLabel() const { return m_errorLabel; }
    [[nodiscard]] ProgressSheet* progressSheet() const { return m_progressSheet; }

private:
    void buildWindow();

    std::shared_ptr<RequestPasswordViewModel> m_viewModel;
    std::shared_ptr<const ThemeType> m_theme;
    std::shared_ptr<TrackingManager> m_trackingManager;
    OwnedWindow<QWidget> m_window;
    QWidget* m_passwordView = nullptr;
    QLineEdit* m_usernameField = nullptr;
    QLineEdit* m_passwordField = nullptr;
    QPushButton* m_loginButton = nullptr;
    QPushButton* m_logoutButton = nullptr;
    QPushButton* m_helpButton = nullptr;
    QLabel* m_errorLabel = nullptr;
    ProgressSheet* m_progressSheet = nullptr;
};

} // namespace Orvella
