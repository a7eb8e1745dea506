#pragma once

#include "Platform/Desktop/Wormhole.hpp"
#include "Platform/Foundation/UserDefaults.hpp"
#include "Sync/Model/SyncFileID.hpp"

#include <functional>
#include <memory>
#include <string>

namespace Orvella {

// The messages between the application and the file-manager extension, one
// operation per message, over a `Wormhole` in the group directory. Each side
// uses the operations of its role; listeners and pongs run on the channel's
// receiver thread (no hand-over here). A handler lasts as long as the
// registration returned for it.
class WormholeNavigator {
public:
    // Message identifiers; the other process uses the same: never rename.
    static constexpr std::string_view createPublicShareIdentifier = "CloudCreatePublicShare";
    static constexpr std::string_view createPrivateShareIdentifier = "CloudCreatePrivateShare";
    static constexpr std::string_view userDefaultsDidChangeIdentifier = "CloudUserDefaultsDidChange";
    static constexpr std::chrono::milliseconds pingTimeout { 2000 };

    using Registration = Platform::NotificationCenter::Registration;

    // Over the group directory's "wormhole" folder and the process's
    // distributed notification centre (`SharedConstants`).
    WormholeNavigator();
    explicit WormholeNavigator(std::shared_ptr<Platform::Wormhole> wormhole);

    [[nodiscard]] const std::shared_ptr<Platform::Wormhole>& wormhole() const { return m_wormhole; }

    // Application: answers every ping of `SharedConstants::pingIdentifierName`.
    void replyToPings();
    // Extension: pings the application; `pong(true)` when it answered within
    // 2.0 s, else `pong(false)`; exactly once.
    void ping(std::function<void(bool)> pong);

    // Application: sends "CloudUserDefaultsDidChange" with the suite's whole dictionary.
    void reloadUserDefaults(const Platform::UserDefaults& defaults);
    // A payload that is an object is passed on; any other is dropped.
    [[nodiscard]] Registration onReloadUserDefaults(std::function<void(const Platform::UserDefaults::Dictionary&)> handler);

    // Extension: asks for a public link (private share) of a remote file;
    // nothing is sent for a local identifier.
    void createPublicShareForFile(const Sync::SyncFileID& fileID);
    void createPrivateShareForFile(const Sync::SyncFileID& fileID);
    // Application: an integer payload reaches `handler` as a remote identifier;
    // any other payload is dropped.
    [[nodiscard]] Registration onCreatePublicShare(std::function<void(const Sync::SyncFileID&)> handler);
    [[nodiscard]] Registration onCreatePrivateShare(std::function<void(const Sync::SyncFileID&)> handler);

private:
    [[nodiscard]] Registration onFileMessage(std::string_view identifier, std::function<void(const Sync::SyncFileID&)> handler);
    void sendFileMessage(std::string_view identifier, const Sync::SyncFileID& fileID);

    std::shared_ptr<Platform::Wormhole> m_wormhole;
};

} // namespace Orvella
