#pragma once

#include "Orvella/Login/LoginViewModel.hpp"
#include "Orvella/Presentation/NavigatorActions.hpp"
#include "Shared/ThemeType.hpp"

#include "Orvella/UI/Views/OwnedWindow.hpp"

#include <QString>

#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QWidget;

namespace Orvella {

class ColoredView;
class HyperlinkButton;
class ProgressSheet;

// The login window: the brand banner, the login form and, after a login,
// the welcome view, switched by the logged-in state with a push from the
// bottom (the first placement unanimated); the progress sheet covers it
// while a login runs. Its window is made on first use and freed with
// `deleteLater()` when the controller goes. Main thread only.
class LoginWindowController {
public:
    LoginWindowController(std::shared_ptr<LoginViewModel> viewModel, std::shared_ptr<const ThemeType> theme,
        std::shared_ptr<NavigatorActions> actions);
    LoginWindowController(const LoginWindowController&) = delete;
    LoginWindowController& operator=(const LoginWindowController&) = delete;

    void showWindow();
    void close();
    // Null until the window is first wanted.
    [[nodiscard]] const void* window() const { return m_window.get(); }
    // Makes the window when it is not there yet.
    QWidget* loadWindow();

    [[nodiscard]] const std::shared_ptr<LoginViewModel>& viewModel() const { return m_viewModel; }

    // The controls, for tests and the gallery; null before `loadWindow()`.
    [[nodiscard]] ColoredView* logoBannerView() const { return m_logoBannerView; }
    [[nodiscard]] QWidget* loginView() const { return m_loginView; }
    [[nodiscard]] QLineEdit* usernameField() const { return m_usernameField; }
    [[nodiscard]] QLineEdit* passwordField() const { return m_passwordField; }
    [[nodiscard]] QPushButton* loginButton() const { return m_loginButton; }
    [[nodiscard]] QLabel* errorLabel() const { return m_errorLabel; }
    [[nodiscard]] ProgressSheet* progressSheet() const { return m_progressSheet; }
    [[nodiscard]] QWidget* successView() const { return m_successView; }
    [[nodiscard]] QLabel* successLabel() const { return m_successLabel; }
    [[nodiscard]] HyperlinkButton* passwordForgottenButton() const { return m_passwordForgottenButton; }
    [[nodiscard]] HyperlinkButton* helpButton() const { return m_helpButton; }
    [[nodiscard]] QPushButton* openFolderButton() const { return m_openFolderButton; }
    [[nodiscard]] QPushButton* openSettingsButton() const { return m_openSettingsButton; }
    [[nodiscard]] QStackedWidget* stack() const { return m_stack; }
    // The view the window shows.
    [[nodiscard]] QWidget* embeddedView() const;

private:
    void buildWindow();
    void bind();

    std::shared_ptr<LoginViewModel> m_viewModel;
    std::shared_ptr<const ThemeType> m_theme;
    std::shared_ptr<NavigatorActions> m_actions;
    OwnedWindow<QWidget> m_window;
    ColoredView* m_logoBannerView = nullptr;
    QWidget* m_loginView = nullptr;
    QLineEdit* m_usernameField = nullptr;
    QLineEdit* m_passwordField = nullptr;
    QPushButton* m_loginButton = nullptr;
    QLabel* m_errorLabel = nullptr;
    ProgressSheet* m_progressSheet = nullptr;
    QWidget* m_successView = nullptr;
    QLabel* m_successLabel = nullptr;
    HyperlinkButton* m_passwordForgottenButton = nullptr;
    HyperlinkButton* m_helpButton = nullptr;
    QPushButton* m_openFolderButton = nullptr;
    QPushButton* m_openSettingsButton = nullptr;
    QStackedWidget* m_stack = nullptr;
};

} // namespace Orvella
