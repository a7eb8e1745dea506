#pragma once

#include "Orvella/Service/APIManager.hpp"
#include "Quarlink/Client/APIClient.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"
#include "Sync/Remote/SyncAPIClient.hpp"

#include <cstdint>
#include <memory>

namespace Orvella {

// The sync engine's API client: the engine's requests served by the API
// client. Every server path becomes a local path only through the engine's
// safe join; a refused path fails before any request or disk step.
// Downloads are staged where the engine's disk store says (its scan never
// lists them and removes them when left over) and renamed into place without
// replacing unless asked; a failed or disposed download removes its staged
// file.
//
// Threading: no state of its own; values arrive on the thread on which the
// API client delivers them.
class SyncAPIClientAdapter final : public Sync::SyncAPIClient {
public:
    struct Collaborators {
        // The only way to the service; never null.
        std::shared_ptr<Quarlink::APIClient> apiClient;
        // The login: its customer data, when there, names the root folder
        // without a request. Never null.
        std::shared_ptr<APIManager> apiManager;
        // The engine's disk store: where downloads are staged, and the
        // registry of its own disk changes in which downloads register what
        // they place. Never null.
        std::shared_ptr<const Sync::FileSystemFileStore> diskStore;
    };

    explicit SyncAPIClientAdapter(Collaborators collaborators);

    [[nodiscard]] Producer<std::int64_t> syncRootFolderID() override;
    [[nodiscard]] Producer<std::vector<Sync::FileRef>> syncRemoteFiles() override;
    [[nodiscard]] Producer<std::string> syncRootEtag() override;
    [[nodiscard]] Producer<Platform::URL> syncDownload(Sync::FileRef file, Platform::URL cloudFolder,
        Sync::ReplaceExisting replace) override;
    [[nodiscard]] Producer<Sync::FileRef> syncUpload(Sync::FileRef file, Platform::URL cloudFolder) override;
    [[nodiscard]] Producer<Sync::FileRef> syncReupload(Sync::FileRef file, Platform::URL cloudFolder) override;
    [[nodiscard]] Producer<Sync::FileRef> syncCreateFolder(Sync::FileRef file) override;
    [[nodiscard]] Producer<Reactive::Unit> syncDelete(Sync::FileRef file) override;
    [[nodiscard]] Producer<Sync::FileRef> syncRename(Sync::FileRef file) override;
    [[nodiscard]] Producer<Sync::FileRef> syncMove(Sync::FileRef file) override;
    [[nodiscard]] Producer<PublicShare> syncPublicShareInfo(Sync::FileRef file) override;
    [[nodiscard]] Producer<PrivateShares> syncPrivateShareInfos(Sync::FileRef file) override;

private:
    // The login's customer data, else the customer request (not cached).
    [[nodiscard]] Producer<Quarlink::CustomerInfo> cachedOrFetchedCustomerInfo() const;

    Collaborators m_collaborators;
};

} // namespace Orvella
