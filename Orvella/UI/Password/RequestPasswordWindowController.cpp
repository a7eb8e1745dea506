#include "Orvella/UI/Password/RequestPasswordWindowController.hpp"

#include "Orvella/UI/Login/LoginFormBindings.hpp"
#include "Orvella/UI/Views/ProgressSheet.hpp"
#include "Orvella/UI/Windows/WindowCloseNotifier.hpp"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace Orvella {

RequestPasswordWindowController::RequestPasswordWindowController(std::shared_ptr<RequestPasswordViewModel> viewModel,
    std::shared_ptr<const ThemeType> theme, std::shared_ptr<TrackingManager> trackingManager)
    : m_viewModel(std::move(viewModel))
    , m_theme(std::move(theme))
    , m_trackingManager(std::move(trackingManager))
{
}

QWidget* RequestPasswordWindowController::loadWindow()
{
    if (!m_window) {
        buildWindow();
    }
    return m_window.get();
}

void RequestPasswordWindowController::showWindow()
{
    loadWindow();
    m_window.show();
}

void RequestPasswordWindowController::close()
{
    m_window.close();
}

void RequestPasswordWindowController::buildWindow()
{
    auto& model = *m_viewModel;
    const QString clientName = QString::fromStdString(model.clientName());
    auto* window = new QWidget(nullptr, Qt::Window);
    m_window.set(window);
    window->setObjectName(QStringLiteral("RequestPasswordWindow"));
    window->setWindowTitle(clientName);
    window->setFixedSize(420, 260);
    postWillCloseNotifications(m_window.get());

    m_passwordView = new QWidget(window);
    auto* layout = new QVBoxLayout(m_passwordView);
    layout->setContentsMargins(24, 20, 24, 20);
    auto* explanation = new QLabel(QStringLiteral("Ihr Passwort wurde nicht akzeptiert. Bitte geben Sie es erneut ein, um die ") + clientName
            + QStringLiteral(" weiter zu verwenden."),
        m_passwordView);
    explanation->setWordWrap(true);
    layout->addWidget(explanation);
    auto* fields = new QFormLayout;
    m_usernameField = new QLineEdit(m_passwordView);
    // The name is the stored one and is never read back: it shows as text,
    // takes no focus, and the keyboard goes to the password.
    m_usernameField->setReadOnly(true);
    m_usernameField->setFocusPolicy(Qt::NoFocus);
    m_usernameField->setFrame(false);
    QPalette plain = m_usernameField->palette();
    plain.setColor(QPalette::Base, plain.color(QPalette::Window));
    m_usernameField->setPalette(plain);
    m_passwordField = new QLineEdit(m_passwordView);
    m_passwordField->setEchoMode(QLineEdit::Password);
    m_passwordField->setPlaceholderText(QStringLiteral("Passwort"));
    fields->addRow(QStringLiteral("Benutzername:"), m_usernameField);
    fields->addRow(QStringLiteral("Passwort:"), m_passwordField);
    layout->addLayout(fields);
    m_errorLabel = new QLabel(m_passwordView);
    m_errorLabel->setWordWrap(true);
    layout->addWidget(m_errorLabel);
    layout->addStretch();
    auto* buttons = new QHBoxLayout;
    m_helpButton = new QPushButton(QStringLiteral("Hilfe"), m_passwordView);
    m_logoutButton = new QPushButton(QStringLiteral("Abmelden"), m_passwordView);
    m_loginButton = new QPushButton(QStringLiteral("Anmelden"), m_passwordView);
    m_loginButton->setDefault(true);
    buttons->addWidget(m_helpButton);
    buttons->addStretch();
    buttons->addWidget(m_logoutButton);
    buttons->addWidget(m_loginButton);
    layout->addLayout(buttons);
    auto* windowLayout = new QVBoxLayout(window);
    windowLayout->setContentsMargins(0, 0, 0, 0);
    windowLayout->addWidget(m_passwordView);
    m_progressSheet = new ProgressSheet(window);

    m_usernameField->setText(QString::fromStdString(model.lastUserName()));
    bindTypedText(model.password(), m_passwordField);
    bindActionButton(m_loginButton, model.loginAction(), m_viewModel);
    bindActionButton(m_logoutButton, model.logoutAction(), m_viewModel);
    bindActionButton(m_helpButton, model.helpAction(), m_viewModel);
    QObject::connect(m_passwordField, &QLineEdit::returnPressed, m_loginButton, &QPushButton::click);
    std::weak_ptr<RequestPasswordViewModel> weakModel = m_viewModel;
    bindErrorText(m_errorLabel, m_passwordField, model.errorText(), [weakModel] {
        if (auto strong = weakModel.lock()) {
            strong->discardPassword();
        }
    });
    bindProgressSheet(m_progressSheet, model.loginAction().isExecuting(), model.clientName());
    m_passwordField->setFocus();
}

} // namespace Orvella
