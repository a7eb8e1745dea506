// orvella: the tray application.

#include "Orvella/AppModule/AppModule.hpp"
#include "Orvella/Debug/LaunchArguments.hpp"
#include "Orvella/InfoPlistTools/InfoPlistTools.hpp"
#include "Orvella/Launch/AppDelegate.hpp"
#include "Orvella/Launch/ContainerLaunchServices.hpp"
#include "Orvella/Launch/UserInterfaceModule.hpp"
#include "Shared/ClientConfiguration.hpp"
#include "Shared/SharedConstants.hpp"
#include "Orvella/UI/Presentation/DesktopIdentity.hpp"
#include "Orvella/UI/Presentation/IconFactory.hpp"
#include "Orvella/UI/Presentation/QtMainLoop.hpp"
#include "Platform/Desktop/DistributedNotificationCenter.hpp"
#include "Platform/FileSystem/InstanceLock.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/ProcessMemory.hpp"
#include "Platform/Foundation/UserDefaults.hpp"
#include "Platform/Foundation/UserDefaultsFile.hpp"
#include "Reactive/Schedulers/UIScheduler.hpp"

#include <QApplication>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QWidget>

#include <fcntl.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <unistd.h>

namespace {

int signalPipe[2] = { -1, -1 };

void forwardSignal(int)
{
    const char byte = 1;
    (void)!::write(signalPipe[1], &byte, 1);
}

// SIGTERM and SIGINT become an orderly quit of the event loop.
void quitOnTerminationSignals(QApplication& application)
{
    if (::pipe2(signalPipe, O_CLOEXEC) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &application);
    QObject::connect(notifier, &QSocketNotifier::activated, &application, [] {
        char byte = 0;
        (void)!::read(signalPipe[0], &byte, 1);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = forwardSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

bool hasDisplay()
{
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

// Raises the application's windows, the last shown one on top with the focus.
void activateApplication()
{
    QWidget* front = nullptr;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && !(window->windowType() == Qt::Popup)) {
            window->raise();
            front = window;
        }
    }
    if (front != nullptr) {
        front->activateWindow();
    }
}

// A second start: the running instance brings its login window or its
// popover to the front, over the channel between the processes it listens on.
void askRunningInstanceToComeForward(const std::filesystem::path& group)
{
    auto center = Platform::DistributedNotificationCenter::open(group / "notifications");
    if (!center) {
        Platform::Log::failure("Die laufende Instanz ist nicht erreichbar: " + center.error().message());
        return;
    }
    // This centre receives its own post too; more than one means the running instance got it.
    if ((*center)->post(Orvella::SharedConstants::activateRunningApplication()) < 2) {
        Platform::Log::line("Die laufende Instanz hat die Bitte, sich zu zeigen, nicht empfangen.");
    }
}

// What the launch needs before the container exists (the migration runs
// before the instance lock is taken in the group directory).
Orvella::AppDelegate::Services launchServices()
{
    const auto& identifier = Orvella::SharedConstants::applicationIdentifier();
    return Orvella::AppDelegate::Services {
        // Not made here: a group directory that does not exist yet may still be the extension's old folder, moved.
        .groupContainer = Orvella::SharedConstants::groupContainerLocation(),
        .oldExtensionContainer = Platform::baseDirectory(Platform::BaseDirectory::data) / (identifier + ".extension"),
        .oldSuiteFileName = identifier + ".extension.plist",
        .suiteFileName = Orvella::SharedConstants::applicationGroupIdentifier() + ".plist",
        .standardDefaults = std::make_shared<Orvella::StandardDefaults>(Platform::UserDefaults::standardFolder(identifier) / "defaults.json"),
        .arguments = Orvella::LaunchArguments::processArguments(),
        .mover = std::make_shared<Orvella::ApplicationMover>(),
        .versionString = Orvella::InfoPlistTools::versionString(),
        .log = [](const std::string& line) { Platform::Log::line(line); },
    };
}

} // namespace

int main(int argc, char** argv)
{
    // Before any thread starts: the engine's workers would each take a heap of their own.
    Platform::limitAllocatorArenas();
    // Answered before anything touches the group directory or a display.
    const Orvella::BrisantoClientConfiguration brand;
    if (argc == 2 && std::string_view(argv[1]) == "--version") {
        std::printf("%s %s\n", brand.clientName().c_str(), Orvella::InfoPlistTools::versionString().c_str());
        return EXIT_SUCCESS;
    }
    auto services = launchServices();
    Orvella::AppDelegate::migrateGroupContainerIfNeeded(services);
    // Made (0700) only now, after the migration had its chance to move the old folder there.
    const auto group = Orvella::SharedConstants::groupContainerPath();
    auto lock = Platform::InstanceLock::acquire(group / "orvella.instance.lock");
    if (!lock && !Platform::InstanceLock::isHeld(lock.error())) {
        Platform::Log::failure("Die Sperrdatei " + (group / "orvella.instance.lock").string()
            + " lässt sich nicht öffnen: " + lock.error().message());
        return EXIT_FAILURE;
    }
    if (!lock) {
        Platform::Log::line(brand.clientName() + " läuft bereits für diesen Benutzer; diese Instanz endet.");
        askRunningInstanceToComeForward(group);
        return EXIT_SUCCESS;
    }

    QApplication application(argc, argv);
    // The tray application keeps running with no window open.
    QApplication::setQuitOnLastWindowClosed(false);
    Orvella::installGermanQtTranslations();
    Orvella::setDesktopIdentity(brand, Orvella::SharedConstants::applicationIdentifier(),
        Orvella::IconFactory().icon("MenueBarIcon"));
    auto loop = Orvella::QtMainLoop::install();
    quitOnTerminationSignals(application);

    auto mainQueue = Reactive::MainQueueScheduler::make();
    auto module = std::make_shared<Orvella::AppModule>(
        [mainQueue](Orvella::Binder& binder) {
            Orvella::registerUserInterface(binder,
                {
                    .uiScheduler = Reactive::UIScheduler::make(),
                    .mainQueue = mainQueue,
                    .quit = [] { QCoreApplication::quit(); },
                    .activate = activateApplication,
                });
        },
        [&] {
            Orvella::AppModuleEnvironment environment;
            environment.mainQueue = mainQueue;
            return environment;
        }());
    auto resolver = std::make_unique<Orvella::Resolver>(std::vector<std::shared_ptr<Orvella::Module>> { module });
    Orvella::addContainerServices(services, *resolver);

    auto delegate = std::make_unique<Orvella::AppDelegate>(std::move(services));
    // The windows, the status item and the engine go before the loop they post to.
    const auto shutDown = [&] {
        delegate.reset();
        resolver.reset();
        Reactive::MainLoop::setMain(nullptr);
    };
    if (auto launched = delegate->applicationDidFinishLaunching(); !launched) {
        if (hasDisplay()) {
            QMessageBox box(QMessageBox::Critical, QString::fromStdString(brand.clientName() + " kann nicht starten"),
                QString::fromStdString(launched.error().message));
            box.setInformativeText(QStringLiteral("Die Anwendung wird beendet."));
            // The reason names folders and files, shown as they are.
            box.setTextFormat(Qt::PlainText);
            box.exec();
        }
        Platform::Log::failure("Start abgebrochen: " + launched.error().message);
        shutDown();
        return EXIT_FAILURE;
    }
    QObject::connect(&application, &QCoreApplication::aboutToQuit, [&delegate] { delegate->applicationWillTerminate(); });
    const int status = QApplication::exec();
    shutDown();
    return status;
}
