// glimmer-test-application: the application's side of the channel for manual
// checks (scripts/nautilus-preview.sh): answers glimmerd's pings in the group
// directory of $ORVELLA_GROUP_CONTAINER and prints the share requests it gets,
// until SIGTERM or SIGINT.

#include "Glimmerd/Tests/GlimmerdProcess.hpp"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <thread>

int main()
{
    const char* group = std::getenv("ORVELLA_GROUP_CONTAINER");
    if (!group || !*group) {
        std::cerr << "ORVELLA_GROUP_CONTAINER fehlt.\n";
        return 1;
    }
    sigset_t terminations;
    sigemptyset(&terminations);
    sigaddset(&terminations, SIGTERM);
    sigaddset(&terminations, SIGINT);
    pthread_sigmask(SIG_BLOCK, &terminations, nullptr);

    GlimmerdTesting::TestApplication application(group);
    application.launch();
    application.postSettingsChanged();
    std::thread reporter([&] {
        std::size_t printed = 0;
        while (true) {
            auto requests = application.shareRequests();
            for (; printed < requests.size(); ++printed)
                std::cout << requests[printed].first << ' ' << requests[printed].second << std::endl;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    reporter.detach();
    int received = 0;
    sigwait(&terminations, &received);
    application.terminate();
    return 0;
}
