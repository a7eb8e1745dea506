// The extension's side of the two-process message tests. Uses the group
// directory of $ORVELLA_GROUP_CONTAINER, says "PeerReady", then follows the
// commands sent as "PeerCommand" until "quit".
#include "Shared/SharedConstants.hpp"
#include "Shared/WormholeNavigator.hpp"

#include <condition_variable>
#include <mutex>

int main()
{
    Orvella::WormholeNavigator navigator;
    auto wormhole = navigator.wormhole();
    std::mutex mutex;
    std::condition_variable finished;
    bool quit = false;

    auto defaults = navigator.onReloadUserDefaults([&](const Platform::UserDefaults::Dictionary& dictionary) {
        nlohmann::json payload = nlohmann::json::object();
        for (auto& [key, value] : dictionary)
            payload[key] = value;
        wormhole->sendMessage("PeerSawDefaults", payload);
    });
    auto commands = wormhole->listenForMessages("PeerCommand", [&](const nlohmann::json& command) {
        if (command == "ping") {
            navigator.ping([wormhole](bool answered) { wormhole->sendMessage("PeerPong", answered); });
        } else if (command == "shares") {
            navigator.createPublicShareForFile(Sync::SyncFileID::remote(42));
            navigator.createPublicShareForFile(Sync::SyncFileID::local("LOCAL"));
            wormhole->sendMessage(std::string(Orvella::WormholeNavigator::createPublicShareIdentifier), "42");
            wormhole->sendMessage(std::string(Orvella::WormholeNavigator::createPrivateShareIdentifier), 4.5);
            for (int index = 0; index < 100; ++index)
                navigator.createPrivateShareForFile(Sync::SyncFileID::remote(1000 + index));
            wormhole->sendMessage("PeerSharesSent");
        } else if (command == "quit") {
            std::lock_guard lock(mutex);
            quit = true;
            finished.notify_all();
        }
    });
    wormhole->sendMessage("PeerReady");
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return quit; });
    return 0;
}
