#include "Orvella/UI/Login/LoginWindowController.hpp"

#include "Orvella/UI/Login/LoginFormBindings.hpp"
#include "Orvella/UI/Views/ColoredView.hpp"
#include "Orvella/UI/Views/HyperlinkButton.hpp"
#include "Orvella/UI/Views/ProgressSheet.hpp"
#include "Orvella/UI/Views/PushTransition.hpp"
#include "Orvella/UI/Windows/WindowCloseNotifier.hpp"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace Orvella {

LoginWindowController::LoginWindowController(
    std::shared_ptr<LoginViewModel> viewModel, std::shared_ptr<const ThemeType> theme, std::shared_ptr<NavigatorActions> actions)
    : m_viewModel(std::move(viewModel))
    , m_theme(std::move(theme))
    , m_actions(std::move(actions))
{
}

QWidget* LoginWindowController::loadWindow()
{
    if (!m_window) {
        buildWindow();
        bind();
    }
    return m_window.get();
}

void LoginWindowController::showWindow()
{
    loadWindow();
    m_window.show();
}

void LoginWindowController::close()
{
    m_window.close();
}

QWidget* LoginWindowController::embeddedView() const
{
    return m_stack ? m_stack->currentWidget() : nullptr;
}

void LoginWindowController::buildWindow()
{
    const QString appName = QString::fromStdString(m_viewModel->appName());
    auto* window = new QWidget(nullptr, Qt::Window);
    m_window.set(window);
    window->setObjectName(QStringLiteral("LoginWindow"));
    window->setWindowTitle(appName);
    window->setFixedSize(400, 460);
    postWillCloseNotifications(m_window.get());

    auto* content = new QWidget(window);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    m_logoBannerView = new ColoredView(content);
    m_logoBannerView->setFixedHeight(96);
    auto* logo = new QLabel(appName, m_logoBannerView);
    logo->setStyleSheet(QStringLiteral("color: white; font-size: 22pt; font-weight: bold;"));
    auto* bannerLayout = new QHBoxLayout(m_logoBannerView);
    bannerLayout->addWidget(logo, 0, Qt::AlignCenter);
    layout->addWidget(m_logoBannerView);

    m_stack = new QStackedWidget(content);
    layout->addWidget(m_stack, 1);

    m_loginView = new QWidget(m_stack);
    auto* form = new QVBoxLayout(m_loginView);
    form->setContentsMargins(32, 20, 32, 20);
    m_usernameField = new QLineEdit(m_loginView);
    m_usernameField->setPlaceholderText(QStringLiteral("Benutzername oder E-Mail-Adresse"));
    m_passwordField = new QLineEdit(m_loginView);
    m_passwordField->setEchoMode(QLineEdit::Password);
    m_passwordField->setPlaceholderText(QStringLiteral("Passwort"));
    m_errorLabel = new QLabel(m_loginView);
    m_errorLabel->setWordWrap(true);
    m_loginButton = new QPushButton(QStringLiteral("Anmelden"), m_loginView);
    m_loginButton->setDefault(true);
    m_passwordForgottenButton = new HyperlinkButton(QStringLiteral("Passwort vergessen?"), m_loginView);
    m_helpButton = new HyperlinkButton(QStringLiteral("Hilfe"), m_loginView);
    auto* links = new QHBoxLayout;
    links->addWidget(m_passwordForgottenButton);
    links->addStretch();
    links->addWidget(m_helpButton);
    form->addWidget(new QLabel(QStringLiteral("Melden Sie sich mit Ihren Zugangsdaten an."), m_loginView));
    form->addWidget(m_usernameField);
    form->addWidget(m_passwordField);
    form->addWidget(m_errorLabel);
    form->addWidget(m_loginButton);
    form->addStretch();
    form->addLayout(links);
    m_stack->addWidget(m_loginView);

    m_successView = new QWidget(m_stack);
    auto* welcome = new QVBoxLayout(m_successView);
    welcome->setContentsMargins(32, 20, 32, 20);
    m_successLabel = new QLabel(m_successView);
    m_successLabel->setWordWrap(true);
    m_successLabel->setAlignment(Qt::AlignCenter);
    m_openFolderButton = new QPushButton(m_successView);
    m_openSettingsButton = new QPushButton(QStringLiteral("Einstellungen öffnen"), m_successView);
    welcome->addStretch();
    welcome->addWidget(m_successLabel);
    welcome->addSpacing(16);
    welcome->addWidget(m_openFolderButton);
    welcome->addWidget(m_openSettingsButton);
    welcome->addStretch();
    m_stack->addWidget(m_successView);

    auto* windowLayout = new QVBoxLayout(window);
    windowLayout->setContentsMargins(0, 0, 0, 0);
    windowLayout->addWidget(content);
    m_progressSheet = new ProgressSheet(window);

    m_logoBannerView->setBackgroundColor(toQColor(m_theme->loginLogoBackgroundColor()));
    QPalette errorPalette = m_errorLabel->palette();
    errorPalette.setColor(QPalette::WindowText, toQColor(m_theme->loginErrorTextColor()));
    m_errorLabel->setPalette(errorPalette);
    m_successLabel->setText(QStringLiteral("Ihre ") + appName + QStringLiteral(" wurde erfolgreich installiert."));
    m_openFolderButton->setText(appName + QStringLiteral(" Ordner öffnen"));
}

void LoginWindowController::bind()
{
    auto& model = *m_viewModel;
    std::weak_ptr<LoginViewModel> weakModel = m_viewModel;
    bindTypedText(model.username(), m_usernameField);
    bindTypedText(model.password(), m_passwordField);
    bindActionButton(m_loginButton, model.loginAction(), m_viewModel);
    QObject::connect(m_passwordField, &QLineEdit::returnPressed, m_loginButton, &QPushButton::click);
    QObject::connect(m_usernameField, &QLineEdit::returnPressed, m_loginButton, &QPushButton::click);
    bindErrorText(m_errorLabel, m_passwordField, model.errorText(), [weakModel] {
        if (auto strong = weakModel.lock()) {
            strong->discardPassword();
        }
    });
    bindProgressSheet(m_progressSheet, model.loginAction().isExecuting(), model.appName());
    // A remembered name needs only its password.
    (m_usernameField->text().isEmpty() ? m_usernameField : m_passwordField)->setFocus();

    auto placed = std::make_shared<bool>(false);
    QPointer<QLineEdit> passwordField(m_passwordField);
    QWidget* loginView = m_loginView;
    QWidget* successView = m_successView;
    bindProperty(m_stack, model.windowState(),
        [placed, passwordField, weakModel, loginView, successView](QStackedWidget* stack, LoginWindowState state) {
        QWidget* target = successView;
        if (state == LoginWindowState::login) {
            // No password the user no longer sees stays behind the emptied field.
            if (passwordField) {
                passwordField->clear();
            }
            if (auto strong = weakModel.lock()) {
                strong->discardPassword();
            }
            target = loginView;
        }
        pushFromBottom(stack, target, *placed);
        *placed = true;
    });

    const auto actions = m_actions;
    auto connectAction = [actions](QPushButton* button, void (NavigatorActions::*action)(QObject*)) {
        QObject::connect(button, &QPushButton::clicked, button, [actions, button, action] { ((*actions).*action)(button); });
    };
    connectAction(m_passwordForgottenButton, &NavigatorActions::openPasswordForgottenURL);
    connectAction(m_helpButton, &NavigatorActions::openHelpURL);
    connectAction(m_openFolderButton, &NavigatorActions::openCloudFolder);
    connectAction(m_openSettingsButton, &NavigatorActions::showPreferencesWindow);
}

} // namespace Orvella
