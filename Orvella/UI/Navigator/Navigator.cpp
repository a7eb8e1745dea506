#include "Orvella/UI/Navigator/Navigator.hpp"

#include "Orvella/Popover/PopoverViewModel.hpp"
#include "Orvella/Sharing/AlertPresentableError.hpp"
#include "Orvella/UI/ShareDialogs/PrivateShareViewController.hpp"
#include "Orvella/UI/ShareDialogs/ShareDurationViewController.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Quarlink/Errors/PresentableError.hpp"

#include <algorithm>
#include <cctype>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QVBoxLayout>
#include <QWidget>

namespace Orvella {

namespace {

// What the title bar needs to show the window's whole title as the desktop
// writes it (the brand's name after it) beside the window's buttons; window
// managers mostly draw titles in bold.
int titleBarWidth(const QWidget& window)
{
    constexpr int windowButtons = 120;
    QString title = window.windowTitle();
    const QString brand = QGuiApplication::applicationDisplayName();
    if (!brand.isEmpty() && !title.endsWith(brand)) {
        title += QStringLiteral(" \u2014 ") + brand;
    }
    QFont font = window.font();
    font.setBold(true);
    return QFontMetrics(font).horizontalAdvance(title) + windowButtons;
}

// An address the service hands over is given to the desktop only as a web
// page: https, or http on this machine (the bundled local service). Anything
// else (a file, a script, a handler of another program) is never opened.
bool isWebPageOfTheService(const Platform::URL& url)
{
    std::string scheme = url.scheme();
    std::ranges::transform(scheme, scheme.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (!url.host() || url.host()->empty())
        return false;
    if (scheme == "https")
        return true;
    const auto& host = *url.host();
    return scheme == "http" && (host == "127.0.0.1" || host == "localhost" || host == "::1" || host == "[::1]");
}

} // namespace

Navigator::Navigator(Services services)
    : m_services(std::move(services))
    , m_shareFlow({ .publicShareService = m_services.publicShareService,
          .privateShareService = m_services.privateShareService,
          .uiScheduler = m_services.uiScheduler })
{
}

void Navigator::onUIThread(std::function<void()> work) const
{
    (void)m_services.uiScheduler->schedule(std::move(work));
}

void Navigator::open(const Platform::URL& url) const
{
    onUIThread([workspace = m_services.workspace, url] { workspace->open(url); });
}

void Navigator::closeLoginWindowIfSentFromIt(QObject* sender) const
{
    auto* view = qobject_cast<QWidget*>(sender);
    if (view == nullptr) {
        return;
    }
    const void* loginWindow = m_services.windows->loginWindow();
    if (loginWindow != nullptr && static_cast<const void*>(view->window()) == loginWindow) {
        m_services.windows->hideLoginWindow();
    }
}

void Navigator::openCloudFolder(QObject* sender)
{
    closeLoginWindowIfSentFromIt(sender);
    open(m_services.cloudFolderURL());
}

void Navigator::openHelpURL(QObject*) { open(m_services.configuration->helpURL()); }
void Navigator::openContactURL(QObject*) { open(m_services.configuration->contactURL()); }
void Navigator::openImprintURL(QObject*) { open(m_services.configuration->imprintURL()); }
void Navigator::openDataProtectionURL(QObject*) { open(m_services.configuration->dataProtectionURL()); }
void Navigator::openPasswordForgottenURL(QObject*) { open(m_services.configuration->forgotPasswordURL()); }

void Navigator::openRegistration(QObject*)
{
    if (const auto& registration = m_services.configuration->registrationURL()) {
        open(*registration);
    }
}

void Navigator::openHomePageURL(QObject*)
{
    // The web login link arrives on the API client's thread; a failure shows nothing.
    std::weak_ptr<Navigator> weak = weak_from_this();
    m_services.apiManager->loginHashURL().startWithValues([weak](const Platform::URL& url) {
        if (!isWebPageOfTheService(url)) {
            Platform::Log::failure("Die Anmeldeadresse des Dienstes wird nicht geöffnet: " + url.absoluteString());
            return;
        }
        if (auto self = weak.lock()) {
            self->open(url);
        }
    });
}

void Navigator::showPreferencesWindow(QObject* sender)
{
    closeLoginWindowIfSentFromIt(sender);
    m_services.windows->showPreferencesWindow();
}

void Navigator::showLoginWindow(QObject*) { m_services.windows->showLoginWindow(); }

void Navigator::checkForUpdates(QObject* sender)
{
    if (m_services.checkForUpdates) {
        m_services.checkForUpdates(sender);
    }
}

void Navigator::showProxyPreferences(QObject* sender)
{
    showPreferencesWindow(sender);
    m_services.windows->presentPreferencesSheet(NavigatorWindows::PreferencesSheet::proxy);
}

void Navigator::showDebugPreferences(QObject* sender)
{
    showPreferencesWindow(sender);
    m_services.windows->presentPreferencesSheet(NavigatorWindows::PreferencesSheet::debug);
}

Alert Navigator::logoutAlert(const std::string& clientName)
{
    return Alert {
        .messageText = "Aus " + clientName + " abmelden",
        .informativeText = "Möchten Sie diesen Computer aus der " + clientName + " abmelden?",
        .style = AlertStyle::warning,
        .buttons = { "Ok", "Abbrechen" },
        .cancelButton = 1,
    };
}

void Navigator::logout(QObject*)
{
    m_services.windows->activate();
    if (m_services.alerts->runModal(logoutAlert(m_services.configuration->clientName())) == AlertPresenter::firstButton) {
        m_services.apiManager->logout();
        m_services.windows->showLoginWindow();
    }
}

void Navigator::togglePopover(const std::any& sender) { m_services.windows->togglePopover(sender); }

void Navigator::revealInFinder(const Sync::File& file)
{
    if (auto path = localPath(m_services.cloudFolderURL(), file.path())) {
        onUIThread([workspace = m_services.workspace, path = std::move(*path)] { workspace->revealFile(path); });
    }
}

void Navigator::copyPublicLink(const Platform::URL& url)
{
    onUIThread([pasteboard = m_services.pasteboard, notifications = m_services.notificationCenter, url] {
        pasteboard->clearContents();
        pasteboard->writeURL(url);
        pasteboard->setString(url.absoluteString());
        notifications->deliver("Freigabe erfolgreich", "Der Link zur Freigabe wurde in Ihre Zwischenablage kopiert.");
    });
}

Alert Navigator::errorAlert(const Reactive::AnyError& error)
{
    if (const auto* presentable = error.as<AlertPresentableError>()) {
        return Alert { .messageText = presentable->alertSubject(), .informativeText = presentable->alertReason(), .style = presentable->alertStyle() };
    }
    if (const auto* presentable = error.as<Quarlink::PresentableError>()) {
        return Alert { .messageText = presentable->subject(), .informativeText = presentable->reason(), .style = AlertStyle::warning };
    }
    return Alert { .messageText = "Fehler", .informativeText = error.description(), .style = AlertStyle::warning };
}

void Navigator::presentError(const Reactive::AnyError& error)
{
    m_services.windows->activate();
    (void)m_services.alerts->runModal(errorAlert(error));
}

QWidget* Navigator::presentInWindow(QWidget* content, const std::string& title)
{
    auto* window = new QWidget;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QString::fromStdString(title));
    (new QVBoxLayout(window))->addWidget(content);
    window->show();
    // Only now: a dialog may put its own title on the window as it is shown.
    window->setMinimumWidth(std::max(window->minimumWidth(), titleBarWidth(*window)));
    window->raise();
    window->activateWindow();
    m_services.windows->activate();
    return window;
}

void Navigator::sharePublicLink(Sync::FileRef file)
{
    m_shareFlow.share(ShareEntry::publicLink, file, weak_from_this());
}

void Navigator::presentPublicLinkDialog(const Sync::FileRef& file)
{
    auto* controller = new ShareDurationViewController(ShareDurationViewModel {
        .lifetime = Sync::ShareLifetime::Medium,
        .file = file,
        .shareService = m_services.publicShareService,
        .fileStore = m_services.fileStore,
        .navigator = shared_from_this(),
        .userNotificationCenter = m_services.notificationCenter,
        .uiScheduler = m_services.uiScheduler,
    });
    presentInWindow(controller, "Freigeben: " + file->fileName());
}

void Navigator::sharePrivately(Sync::FileRef file)
{
    m_shareFlow.share(ShareEntry::privateShare, file, weak_from_this());
}

void Navigator::presentPrivateShareDialog(const Sync::FileRef& file)
{
    auto viewModel = std::make_shared<PrivateShareViewModel>(file,
        PrivateShareViewModel::Services {
            .notificationCenter = m_services.notificationCenter,
            .shareService = m_services.privateShareService,
            .fileStore = m_services.fileStore,
            .uiScheduler = m_services.uiScheduler,
        });
    auto* controller = new PrivateShareViewController(std::move(viewModel), m_services.alerts, m_services.mainQueue);
    // The dialog puts its own title on the window as it is shown.
    presentInWindow(controller, file->fileName() + " freigeben");
}

} // namespace Orvella
