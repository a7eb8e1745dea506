#include "Quarlink/Shares/ShareOperations.hpp"

#include "Quarlink/Requests/Perform.hpp"
#include "Quarlink/Shares/AcceptPendingShareRequest.hpp"
#include "Quarlink/Shares/CreatePrivateShareRequest.hpp"
#include "Quarlink/Shares/CreatePublicShareRequest.hpp"
#include "Quarlink/Shares/DeclinePendingShareRequest.hpp"
#include "Quarlink/Shares/DeleteShareRequest.hpp"
#include "Quarlink/Shares/DeleteSharesForFileRequest.hpp"
#include "Quarlink/Shares/PendingShareListRequest.hpp"
#include "Quarlink/Shares/ShareInfosForFileRequest.hpp"
#include "Quarlink/Shares/ShareListRequest.hpp"
#include "Quarlink/Shares/ShareOwnerRequest.hpp"
#include "Quarlink/Shares/SharePermissionRequest.hpp"
#include "Quarlink/Shares/SharesForFileRequest.hpp"
#include "Quarlink/Shares/UpdatePublicShareDurationRequest.hpp"

namespace Quarlink {

namespace {

// The file's share list with only the payloads one accessor yields, in order.
template<class Payload, class Accessor>
Reactive::SignalProducer<CloudMetaPackage<std::vector<Payload>>, Reactive::AnyError> filteredShares(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID, Accessor accessor)
{
    return perform(SharesForFileRequest { fileID }, client).map([accessor](const CloudMetaPackage<std::vector<Share>>& package) {
        return package.map([accessor](const std::vector<Share>& all) {
            std::vector<Payload> kept;
            for (const auto& share : all) {
                if (auto payload = accessor(share))
                    kept.push_back(std::move(*payload));
            }
            return kept;
        });
    });
}

} // namespace

Reactive::SignalProducer<CloudMetaPackage<std::vector<Share>>, Reactive::AnyError> shares(const std::shared_ptr<APIClient>& client,
    std::int64_t fileID)
{
    return perform(SharesForFileRequest { fileID }, client);
}

Reactive::SignalProducer<CloudMetaPackage<std::vector<Share>>, Reactive::AnyError> shares(const std::shared_ptr<APIClient>& client,
    const File& file)
{
    return shares(client, file.fileID());
}

Reactive::SignalProducer<CloudMetaPackage<std::vector<PrivateShare>>, Reactive::AnyError> privateShares(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID)
{
    return filteredShares<PrivateShare>(client, fileID, [](const Share& share) { return share.privateShare(); });
}

Reactive::SignalProducer<CloudMetaPackage<std::vector<PrivateShare>>, Reactive::AnyError> privateShares(
    const std::shared_ptr<APIClient>& client, const File& file)
{
    return privateShares(client, file.fileID());
}

Reactive::SignalProducer<CloudMetaPackage<std::vector<PublicShare>>, Reactive::AnyError> publicShare(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID)
{
    return filteredShares<PublicShare>(client, fileID, [](const Share& share) { return share.publicShare(); });
}

Reactive::SignalProducer<CloudMetaPackage<std::vector<PublicShare>>, Reactive::AnyError> publicShare(
    const std::shared_ptr<APIClient>& client, const File& file)
{
    return publicShare(client, file.fileID());
}

Reactive::SignalProducer<CloudMetaPackage<ShareInfo>, Reactive::AnyError> shareInfo(const std::shared_ptr<APIClient>& client,
    std::int64_t fileID)
{
    return perform(ShareInfosForFileRequest { fileID }, client);
}

Reactive::SignalProducer<CloudMetaPackage<ShareInfo>, Reactive::AnyError> shareInfo(const std::shared_ptr<APIClient>& client,
    const File& file)
{
    return shareInfo(client, file.fileID());
}

Reactive::SignalProducer<Owner, Reactive::AnyError> owner(const std::shared_ptr<APIClient>& client, const PrivateShare& share)
{
    return perform(ShareOwnerRequest { share }, client);
}

Reactive::SignalProducer<CloudMetaPackage<SharePermission>, Reactive::AnyError> sharePermission(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID)
{
    return perform(SharePermissionRequest { fileID }, client);
}

Reactive::SignalProducer<CloudMetaPackage<SharePermission>, Reactive::AnyError> sharePermission(
    const std::shared_ptr<APIClient>& client, const File& file)
{
    return sharePermission(client, file.fileID());
}

Reactive::SignalProducer<CloudMetaPackage<std::vector<Share>>, Reactive::AnyError> createPublicShare(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID, ShareLifetime lifetime)
{
    return perform(CreatePublicShareRequest(fileID, lifetime), client);
}

Reactive::SignalProducer<CloudMetaPackage<std::vector<Share>>, Reactive::AnyError> createPublicShare(
    const std::shared_ptr<APIClient>& client, const File& file, ShareLifetime lifetime)
{
    return createPublicShare(client, file.fileID(), lifetime);
}

Reactive::SignalProducer<CloudMetaPackage<std::vector<Share>>, Reactive::AnyError> createPrivateShare(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID, std::string message, std::vector<std::string> recipients)
{
    return perform(CreatePrivateShareRequest { fileID, std::move(message), std::move(recipients) }, client);
}

Reactive::SignalProducer<CloudMetaPackage<std::vector<Share>>, Reactive::AnyError> createPrivateShare(
    const std::shared_ptr<APIClient>& client, const File& file, std::string message, std::vector<std::string> recipients)
{
    return createPrivateShare(client, file.fileID(), std::move(message), std::move(recipients));
}

Reactive::SignalProducer<CloudMetaPackage<PublicShare>, Reactive::AnyError> updateLifetime(const std::shared_ptr<APIClient>& client,
    std::int64_t shareID, ShareLifetime lifetime)
{
    return perform(UpdatePublicShareDurationRequest(shareID, lifetime), client);
}

Reactive::SignalProducer<CloudMetaPackage<PublicShare>, Reactive::AnyError> updateLifetime(const std::shared_ptr<APIClient>& client,
    const PublicShare& share, ShareLifetime lifetime)
{
    return updateLifetime(client, share.shareID, lifetime);
}

Reactive::SignalProducer<CloudMetaPackage<PublicShare>, Reactive::AnyError> updateLifetime(const std::shared_ptr<APIClient>& client,
    const Share& share, ShareLifetime lifetime)
{
    return updateLifetime(client, share.shareID(), lifetime);
}

Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(const std::shared_ptr<APIClient>& client, std::int64_t shareID)
{
    return perform(DeleteShareRequest { shareID }, client);
}

Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(const std::shared_ptr<APIClient>& client, const Share& share)
{
    return deleteShare(client, share.shareID());
}

Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(const std::shared_ptr<APIClient>& client,
    const PublicShare& share)
{
    return deleteShare(client, share.shareID);
}

Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(const std::shared_ptr<APIClient>& client,
    const PrivateShare& share)
{
    return deleteShare(client, share.shareID);
}

Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deletePublicShare(const std::shared_ptr<APIClient>& client,
    std::int64_t fileID)
{
    return perform(DeleteSharesForFileRequest(fileID, DeleteSharesForFileRequest::ShareType::public_), client);
}

Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deletePublicShare(const std::shared_ptr<APIClient>& client,
    const File& file)
{
    return deletePublicShare(client, file.fileID());
}

Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deletePrivateShares(const std::shared_ptr<APIClient>& client,
    std::int64_t fileID)
{
    return perform(DeleteSharesForFileRequest(fileID, DeleteSharesForFileRequest::ShareType::private_), client);
}

Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deletePrivateShares(const std::shared_ptr<APIClient>& client,
    const File& file)
{
    return deletePrivateShares(client, file.fileID());
}

Reactive::SignalProducer<CloudMetaPackage<std::vector<Share>>, Reactive::AnyError> shares(const std::shared_ptr<APIClient>& client)
{
    return perform(ShareListRequest(), client);
}

Reactive::SignalProducer<CloudMetaPackage<std::vector<PrivateShare>>, Reactive::AnyError> pendingShares(
    const std::shared_ptr<APIClient>& client)
{
    return perform(PendingShareListRequest(), client);
}

Reactive::SignalProducer<CloudMetaPackage<PrivateShare>, Reactive::AnyError> accept(const std::shared_ptr<APIClient>& client,
    std::int64_t shareID, std::optional<std::int64_t> folderID, std::optional<std::string> name)
{
    return perform(AcceptPendingShareRequest(shareID, folderID, std::move(name)), client);
}

Reactive::SignalProducer<CloudMetaPackage<PrivateShare>, Reactive::AnyError> accept(const std::shared_ptr<APIClient>& client,
    const PrivateShare& share, const std::optional<File>& folder)
{
    std::optional<std::int64_t> folderID;
    if (folder)
        folderID = folder->fileID();
    return accept(client, share.shareID, folderID, share.fileName);
}

Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> decline(const std::shared_ptr<APIClient>& client, std::int64_t shareID)
{
    return perform(DeclinePendingShareRequest { shareID }, client);
}

Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> decline(const std::shared_ptr<APIClient>& client,
    const PrivateShare& share)
{
    return decline(client, share.shareID);
}

} // namespace Quarlink
