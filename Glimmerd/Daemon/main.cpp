// glimmerd: the file-manager extension process. While the application answers
// its ping it observes the cloud folder and serves badges and share entries
// to file managers on its socket.
//
//   glimmerd                 runs until SIGTERM or SIGINT (exit status 0)
//   glimmerd --print-socket  prints the socket path and exits

#include "Glimmerd/Daemon/QtMainLoop.hpp"
#include "Glimmerd/FinderSync/ExtensionDatabase.hpp"
#include "Glimmerd/FinderSync/FinderSync.hpp"
#include "Glimmerd/FinderSync/SharedCloudFolderSettings.hpp"
#include "Glimmerd/FinderSync/WormholeExtensionChannel.hpp"
#include "Glimmerd/FinderSyncHost/FinderSyncHost.hpp"
#include "Glimmerd/FinderSyncHost/GlimmerSocketPath.hpp"
#include "Shared/ClientConfiguration.hpp"
#include "Shared/SharedConstants.hpp"
#include "Platform/Desktop/ExtensionRegistry.hpp"
#include "Platform/FileSystem/InstanceLock.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/UserDefaults.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"
#include "Reactive/Schedulers/UIScheduler.hpp"
#include "Sync/Status/RealmFileSyncStatusStore.hpp"
#include "Sync/Store/RealmFileStore.hpp"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstring>
#include <iostream>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

int fail(const std::string& message)
{
    Platform::Log::failure(message);
    return 1;
}

std::string ownPath()
{
    std::error_code error;
    auto path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("glimmerd") : path.string();
}

// The termination signals arrive as readable data on the main loop, so the
// process ends through the loop's normal exit.
sigset_t terminationSignals()
{
    sigset_t terminations;
    sigemptyset(&terminations);
    sigaddset(&terminations, SIGTERM);
    sigaddset(&terminations, SIGINT);
    return terminations;
}

// The extension's services over the group directory: read-only stores, the
// settings file, the channel, and the main loop for everything it hands over.
Glimmerd::FinderSyncEnvironment makeEnvironment(const std::filesystem::path& group, std::shared_ptr<Reactive::MainLoop> loop,
    std::shared_ptr<Platform::Wormhole> wormhole, std::shared_ptr<Platform::DistributedNotificationCenter> notificationCenter)
{
    auto database = Glimmerd::readOnlyDatabaseFactory(group / "Cloud.realm");
    auto storeScheduler = Reactive::QueueScheduler::make("Glimmerd Database Queue");
    Glimmerd::FinderSyncEnvironment environment;
    environment.syncController = std::make_shared<FinderSyncKit::FinderSyncController>();
    environment.fileStore = std::make_shared<Sync::RealmFileStore>(database, storeScheduler);
    environment.fileStatusStore = std::make_shared<Sync::RealmFileSyncStatusStore>(database, storeScheduler);
    environment.channel = std::make_shared<Glimmerd::WormholeExtensionChannel>(
        Orvella::WormholeNavigator(std::move(wormhole)), std::move(notificationCenter));
    environment.settings = std::make_shared<Glimmerd::SharedCloudFolderSettings>(group / std::string(Platform::UserDefaults::fileName));
    environment.mainScheduler = Reactive::MainQueueScheduler::make(std::move(loop));
    environment.isDatabaseReadable = [database] { return Glimmerd::isDatabaseReadable(database); };
    environment.launchPath = ownPath();
    environment.clientName = Orvella::BrisantoClientConfiguration().clientName();
    return environment;
}

} // namespace

int main(int argc, char** argv)
{
    // Blocked before any thread starts, so every thread inherits the mask
    // and the signals reach only the descriptor below.
    auto terminations = terminationSignals();
    pthread_sigmask(SIG_BLOCK, &terminations, nullptr);
    // Our stderr is a pipe into the application's log; when the application
    // is gone, a log line must fail quietly instead of ending us.
    std::signal(SIGPIPE, SIG_IGN);

    if (argc == 2 && std::strcmp(argv[1], "--print-socket") == 0) {
        std::cout << FinderSyncHost::glimmerSocketPath().string() << '\n';
        return 0;
    }
    if (argc != 1) {
        std::cerr << "Aufruf: glimmerd [--print-socket]\n";
        return 1;
    }

    Platform::Log::setIdentity("glimmerd");
    QCoreApplication application(argc, argv);

    auto group = Orvella::SharedConstants::makeGroupContainer();
    if (!group)
        return fail(group.error());
    const auto lockFile = *group / Platform::ExtensionProcesses::instanceLockFileName;
    auto lock = Platform::InstanceLock::acquire(lockFile);
    if (!lock && Platform::InstanceLock::isHeld(lock.error()))
        return fail("glimmerd läuft für diesen Benutzer bereits.");
    if (!lock)
        return fail("Die Sperrdatei " + lockFile.string() + " lässt sich nicht sperren: " + lock.error().message());

    auto loop = std::make_shared<Glimmerd::QtMainLoop>();
    Reactive::MainLoop::setMain(loop);
    auto notificationCenter = Platform::DistributedNotificationCenter::open(*group / "notifications");
    if (!notificationCenter)
        return fail("Die Benachrichtigungen zwischen den Prozessen lassen sich nicht öffnen: " + notificationCenter.error().message());
    auto wormhole = Platform::Wormhole::create({ .applicationGroupDirectory = *group, .directoryName = "wormhole",
        .notificationCenter = *notificationCenter, .timeoutScheduler = nullptr, .loggingEnabled = false });
    if (!wormhole)
        return fail("Der Nachrichtenkanal lässt sich nicht öffnen: " + wormhole.error().message());

    auto environment = makeEnvironment(*group, loop, *wormhole, *notificationCenter);
    auto controller = environment.syncController;
    auto extension = Glimmerd::FinderSync::create(std::move(environment));

    auto host = FinderSyncHost::FinderSyncHost::listen({ .socketPath = FinderSyncHost::glimmerSocketPath() }, controller, extension);
    if (!host)
        return fail(host.error());

    int signalDescriptor = signalfd(-1, &terminations, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalDescriptor < 0)
        return fail(std::string("Die Signale lassen sich nicht empfangen: ") + std::strerror(errno));
    QSocketNotifier signalNotifier(signalDescriptor, QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &application, [signalDescriptor] {
        signalfd_siginfo information { };
        while (read(signalDescriptor, &information, sizeof(information)) > 0) { }
        QCoreApplication::quit();
    });

    auto status = application.exec();
    host->reset();
    extension.reset();
    close(signalDescriptor);
    return status;
}
