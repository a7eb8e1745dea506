// e2e-notification-recorder: the desktop's notification server for the
// whole-application test. Owns org.freedesktop.Notifications on the session
// bus and prints one line per call ("<method>\t<summary>\t<body>") until
// SIGTERM or SIGINT. "serving" on the first line says the name is owned.

#include "Platform/Desktop/Tests/RecordingNotificationServer.hpp"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <thread>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void requestStop(int) { stopRequested = 1; }

std::string oneLine(std::string text)
{
    for (auto& character : text) {
        if (character == '\n' || character == '\t')
            character = ' ';
    }
    return text;
}

} // namespace

int main()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address == nullptr || *address == '\0') {
        std::cerr << "e2e-notification-recorder: no session bus (DBUS_SESSION_BUS_ADDRESS)\n";
        return 2;
    }
    std::signal(SIGTERM, requestStop);
    std::signal(SIGINT, requestStop);
    Platform::Testing::RecordingNotificationServer server(address, false);
    if (!server.isServing()) {
        std::cerr << "e2e-notification-recorder: org.freedesktop.Notifications is taken or the bus does not answer\n";
        return 1;
    }
    std::cout << "serving" << std::endl;
    std::size_t printed = 0;
    // Polling keeps the server's own thread the only one on the bus.
    while (stopRequested == 0) {
        auto calls = server.calls();
        for (; printed < calls.size(); ++printed) {
            const auto& call = calls[printed];
            std::cout << call.method << '\t' << oneLine(call.summary) << '\t' << oneLine(call.body) << std::endl;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}
