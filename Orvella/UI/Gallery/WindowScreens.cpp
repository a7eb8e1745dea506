#include "Orvella/Debug/TestSupport/PipedSyncEvents.hpp"
#include "Orvella/UI/Gallery/WindowScreens.hpp"

#include "Orvella/Login/TestSupport/GatedLogin.hpp"
#include "Orvella/Presentation/TestSupport/RecordingNavigatorActions.hpp"
#include "Orvella/Presentation/TestSupport/RecordingWorkspace.hpp"
#include "Orvella/Presentation/TestSupport/ScriptedAlertPresenter.hpp"
#include "Orvella/UI/Debug/DebugViewController.hpp"
#include "Orvella/UI/Login/LoginWindowController.hpp"
#include "Orvella/UI/Password/RequestPasswordWindowController.hpp"
#include "Orvella/UI/Preferences/AccountPreferencesViewController.hpp"
#include "Orvella/UI/Preferences/FeedbackPreferencesViewController.hpp"
#include "Orvella/UI/Preferences/GeneralPreferencesViewController.hpp"
#include "Orvella/UI/Preferences/PreferencesWindowController.hpp"
#include "Orvella/UI/Views/PushTransition.hpp"

#include <QCoreApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace Orvella::Gallery {

namespace {

using namespace Orvella::Testing;

// The window with `sheet` drawn over its upper middle, as a window-modal sheet shows.
QImage withSheet(QWidget* window, QWidget* sheet)
{
    QImage image = window->grab().toImage();
    sheet->adjustSize();
    const QImage sheetImage = sheet->grab().toImage();
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor(0, 0, 0, 50));
    const QPoint at((image.width() - sheetImage.width()) / 2, 40);
    painter.drawImage(at, sheetImage);
    painter.setPen(QColor(0, 0, 0, 90));
    painter.drawRect(QRect(at, sheetImage.size()).adjusted(0, 0, -1, -1));
    return framed(image);
}

struct Login {
    GatedLogin login;
    Reactive::MutableProperty<bool> loggedIn { false };
    std::shared_ptr<LoginWindowController> controller;

    explicit Login(bool startLoggedIn = false)
    {
        setPushTransitionsEnabled(false);
        loggedIn.set(startLoggedIn);
        auto model = std::make_shared<LoginViewModel>(LoginViewModel::Services { .configuration = std::make_shared<BrisantoClientConfiguration>(),
            .isLoggedIn = loggedIn,
            .lastUserName = std::nullopt,
            .login = login.operation(),
            .tracking = nullptr });
        controller = std::make_shared<LoginWindowController>(model, std::make_shared<BrisantoTheme>(), std::make_shared<RecordingNavigatorActions>());
        settle(controller->loadWindow());
    }

    void typeAndPress(const QString& user, const QString& password)
    {
        QTest::keyClicks(controller->usernameField(), user);
        QTest::keyClicks(controller->passwordField(), password);
        controller->loginButton()->click();
        settle(controller->loadWindow());
    }

    QImage image() const { return framed(controller->loadWindow()->grab().toImage()); }
};

struct Password {
    GatedLogin login;
    std::shared_ptr<RequestPasswordWindowController> controller;

    Password()
    {
        auto model = std::make_shared<RequestPasswordViewModel>(RequestPasswordViewModel::Services { .clientName = "brisanto cloud",
            .lastUserName = "anna.berger@example.org",
            .login = login.operation(),
            .logout = [] {},
            .help = [] {},
            .tracking = nullptr });
        controller = std::make_shared<RequestPasswordWindowController>(model, std::make_shared<BrisantoTheme>(), nullptr);
        settle(controller->loadWindow());
    }

    QImage image() const { return framed(controller->loadWindow()->grab().toImage()); }
};

// The preferences window over fake settings, a temporary cloud folder path
// and a fake API manager's login state.
struct Preferences {
    Reactive::MutableProperty<bool> launch { true };
    Reactive::MutableProperty<bool> notifications { true };
    Reactive::MutableProperty<bool> tracking { true };
    Reactive::MutableProperty<bool> loggedIn;
    Reactive::MutableProperty<std::optional<std::string>> email { std::string("anna.berger@example.org") };
    Reactive::MutableProperty<Platform::URL> cloudFolder { Platform::URL::fileURL("/home/anna/brisanto cloud", Platform::URL::IsDirectory::Yes) };
    std::shared_ptr<RecordingNavigatorActions> actions = std::make_shared<RecordingNavigatorActions>();
    std::shared_ptr<ScriptedAlertPresenter> alerts = std::make_shared<ScriptedAlertPresenter>();
    std::unique_ptr<PreferencesWindowController> controller;

    explicit Preferences(bool isLoggedIn)
        : loggedIn(isLoggedIn)
    {
        controller = std::make_unique<PreferencesWindowController>(standardPreferences(
            [this]() -> QWidget* {
                return new GeneralPreferencesViewController(
                    std::make_shared<GeneralPreferencesViewModel>(launch, notifications, tracking, "1.0 (1)"));
            },
            [this]() -> QWidget* {
                auto model = std::make_shared<AccountPreferencesViewModel>(AccountPreferencesViewModel::Services {
                    .configuration = std::make_shared<BrisantoClientConfiguration>(),
                    .isLoggedIn = loggedIn,
                    .customerEmail = email,
                    .cloudFolderURL = &cloudFolder,
                    .fileManager = std::make_shared<SystemCloudFolderFileManager>(),
                    .logout = {},
                    .showLoginWindow = {},
                    .homeFolder = "/home/anna" });
                return new AccountPreferencesViewController(model,
                    { std::make_shared<RecordingWorkspace>(), std::make_shared<QtFolderChooser>(), alerts });
            },
            [this]() -> QWidget* { return new FeedbackPreferencesViewController(actions); }));
        settle(controller->loadWindow());
    }

    QImage pane(int index)
    {
        controller->selectPane(index);
        settle(controller->loadWindow());
        return framed(controller->loadWindow()->grab().toImage());
    }
};

QImage debugSheet()
{
    Preferences preferences(true);
    auto events = std::make_shared<PipedSyncEvents>();
    Reactive::MutableProperty<Quarlink::Environment> environment(Quarlink::Environment::live());
    auto model = std::make_shared<DebugViewModel>(events, environment);
    events->pipe.second.send({ Sync::SyncEvent::started(), Sync::Change::invalid() });
    events->pipe.second.send({ Sync::SyncEvent::finished(), Sync::Change::invalid() });
    DebugViewController sheet(model);
    sheet.resize(460, 300);
    settle(&sheet);
    return withSheet(preferences.controller->loadWindow(), &sheet);
}

QImage proxySheet()
{
    Preferences preferences(true);
    ProxyPreferencesViewController sheet;
    settle(&sheet);
    return withSheet(preferences.controller->loadWindow(), &sheet);
}

// The refusal as its alert looks, over the account pane.
QImage folderAlert(const CloudFolderCreationError& error)
{
    Preferences preferences(true);
    preferences.pane(1);
    const Alert alert = error.alert();
    QMessageBox box;
    box.setIcon(alert.style == AlertStyle::critical ? QMessageBox::Critical : QMessageBox::Warning);
    box.setText(QString::fromStdString(alert.messageText));
    box.setInformativeText(QString::fromStdString(alert.informativeText));
    for (const auto& title : alert.buttons) {
        box.addButton(QString::fromStdString(title), QMessageBox::AcceptRole);
    }
    settle(&box);
    return withSheet(preferences.controller->loadWindow(), &box);
}

} // namespace

std::vector<Screen> windowScreens()
{
    std::vector<Screen> all;
    all.push_back({ "login-empty", [] { return Login().image(); } });
    all.push_back({ "login-error", [] {
                       Login login;
                       login.typeAndPress(QStringLiteral("anna"), QStringLiteral("falsch"));
                       login.login.fail(ReasonError("Die Authentifizierung ist fehlgeschlagen. Bitte prüfen Sie ihre E-Mail-Adresse und ihr Passwort."));
                       settle(login.controller->loadWindow());
                       return login.image();
                   } });
    all.push_back({ "login-progress", [] {
                       Login login;
                       login.typeAndPress(QStringLiteral("anna"), QStringLiteral("geheim"));
                       return login.image();
                   } });
    all.push_back({ "login-welcome", [] { return Login(true).image(); } });
    all.push_back({ "password", [] { return Password().image(); } });
    all.push_back({ "password-error", [] {
                       Password password;
                       QTest::keyClicks(password.controller->passwordField(), QStringLiteral("falsch"));
                       password.controller->loginButton()->click();
                       password.login.fail(ReasonError("E-Mail-Adresse oder Passwort ungültig. Bitte achten Sie auf Groß- und Kleinschreibung."));
                       settle(password.controller->loadWindow());
                       return password.image();
                   } });
    const char* panes[] = { "general", "account", "feedback" };
    for (int index = 0; index < 3; ++index) {
        for (const bool loggedIn : { true, false }) {
            all.push_back({ std::string("preferences-") + panes[index] + (loggedIn ? "-loggedin" : "-loggedout"),
                [index, loggedIn] { return Preferences(loggedIn).pane(index); } });
        }
    }
    all.push_back({ "sheet-proxy", [] { return proxySheet(); } });
    all.push_back({ "sheet-debug", [] { return debugSheet(); } });
    all.push_back({ "alert-folder-recursion", [] { return folderAlert(CloudFolderCreationError::folderRecursion()); } });
    all.push_back({ "alert-folder-not-empty", [] { return folderAlert(CloudFolderCreationError::folderNotEmpty()); } });
    all.push_back({ "alert-folder-unreadable", [] {
                       return folderAlert(CloudFolderCreationError::couldNotCheckFolder(
                           Platform::FileSystemError::fromErrno(EACCES, "/home/anna/Privat")));
                   } });
    return all;
}

} // namespace Orvella::Gallery
