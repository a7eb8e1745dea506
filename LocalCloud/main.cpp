// localcloud: serves a data folder over the cloud's REST API on loopback
// until interrupted.

#include "LocalCloud/LocalCloudServer.hpp"

#include <csignal>
#include <cstdlib>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: localcloud <port> <data folder>\n";
        return 2;
    }
    char* end = nullptr;
    long port = std::strtol(argv[1], &end, 10);
    if (*end != '\0' || port < 0 || port > 65535) {
        std::cerr << "❗️ LocalCloud: invalid port " << argv[1] << '\n';
        return 2;
    }

    // Block the stop signals before any thread starts, so only sigwait sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    auto server = LocalCloud::LocalCloudServer::start({ .dataFolder = argv[2], .port = static_cast<int>(port) });
    if (!server) {
        std::cerr << "❗️ LocalCloud: " << server.error() << '\n';
        return 1;
    }
    std::cerr << "✅ LocalCloud serves " << argv[2] << " at " << (*server)->baseURL() << '\n';
    int received = 0;
    sigwait(&signals, &received);
    std::cerr << "LocalCloud stops\n";
    return 0;
}
