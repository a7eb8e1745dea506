#pragma once

#include "Orvella/Service/APIManager.hpp"
#include "Quarlink/Client/APIClient.hpp"
#include "Sync/Remote/SyncAPIClient.hpp"

#include <cstdint>
#include <memory>

namespace Orvella {

// The sync engine's API client: the engine's requests mapped onto the API
// client and its answers back; nothing here touches the cloud folder. A
// local path an upload reads comes only through the engine's safe join; a
// refused path fails before any request. A download answers the transport's
// finished file, which the engine's disk store puts in place (and which
// removes itself when nobody does).
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
    };

    explicit SyncAPIClientAdapter(Collaborators collaborators);

    [[nodiscard]] Producer<std::int64_t> syncRootFolderID() override;
    [[nodiscard]] Producer<std::vector<Sync::FileRef>> syncRemoteFiles() override;
    [[nodiscard]] Producer<std::string> syncRootEtag() override;
    [[nodiscard]] Producer<Sync::DownloadedFileRef> syncDownload(Sync::FileRef file) override;
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
