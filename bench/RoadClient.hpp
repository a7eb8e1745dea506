#pragma once
// The client's end of the whole road, as a command-line sync would build it:
// the URL-session client logged in through the API client manager, the
// adapter, and the engine on a real cloud folder with its SQLite stores and
// extended attributes. Shared by the benchmark (for the cases that run the
// client in its own process) and by the program that runs only the client,
// so that a peak measured there holds nothing the client does not need.

#include "Platform/FileSystem/FileOperations.hpp"

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

namespace Orvella {
class APIClientManager;
}
namespace Platform {
class OwnChangeRegistry;
}
namespace Reactive {
class QueueScheduler;
}
namespace Sync {
class SyncManager;
class FileSystemFileStoreConfiguration;
}

namespace Bench {

class RoadClient {
public:
    // Over `folder` (its "Cloud", "Cloud.db" and "downloads"), logged in at
    // the service's API base `baseURL`; `diskSync`: how the disk store makes
    // what it places durable (the system's when null).
    RoadClient(const std::filesystem::path& folder, const std::string& baseURL,
        std::shared_ptr<const Platform::DiskSync> diskSync = nullptr);
    ~RoadClient();
    RoadClient(const RoadClient&) = delete;
    RoadClient& operator=(const RoadClient&) = delete;

    [[nodiscard]] bool ready() const;
    // One run; false when it reported an error or did not end.
    bool sync();
    // Requests the client has sent so far.
    [[nodiscard]] std::size_t requests() const;

private:
    struct Counter;
    std::shared_ptr<Counter> m_filter;
    std::shared_ptr<Platform::OwnChangeRegistry> m_ownChanges;
    std::shared_ptr<Orvella::APIClientManager> m_manager;
    std::shared_ptr<Reactive::QueueScheduler> m_stores;
    std::shared_ptr<Sync::FileSystemFileStoreConfiguration> m_configuration;
    std::shared_ptr<Sync::SyncManager> m_engine;
};

// The account every road logs in with.
extern const char* const roadUser;
extern const char* const roadPassword;

}
