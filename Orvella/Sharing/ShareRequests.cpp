#include "Orvella/Sharing/ShareRequests.hpp"

#include "Orvella/Sharing/ShareError.hpp"
#include "Quarlink/Shares/ShareOperations.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/Unpacked.hpp"
#include "Sync/Sharing/PrivateShareInfoItem.hpp"
#include "Sync/Sharing/PublicShareInfoItem.hpp"

namespace Orvella::ShareRequests {

using Reactive::AnyError;
using Reactive::SignalProducer;

Sync::ShareInfoStatus shareInfoStatus(Quarlink::ShareStatus status)
{
    switch (status) {
    case Quarlink::ShareStatus::accepted: return Sync::ShareInfoStatus::Accepted;
    case Quarlink::ShareStatus::pending: return Sync::ShareInfoStatus::Pending;
    case Quarlink::ShareStatus::declined: return Sync::ShareInfoStatus::Declined;
    }
    return Sync::ShareInfoStatus::Declined;
}

Quarlink::ShareLifetime shareLifetime(Sync::ShareLifetime lifetime)
{
    switch (lifetime) {
    case Sync::ShareLifetime::Short: return Quarlink::ShareLifetime::short_;
    case Sync::ShareLifetime::Medium: return Quarlink::ShareLifetime::medium;
    case Sync::ShareLifetime::Long: return Quarlink::ShareLifetime::long_;
    case Sync::ShareLifetime::Unlimited: return Quarlink::ShareLifetime::unlimited;
    }
    return Quarlink::ShareLifetime::short_;
}

PublicShare publicShareInfo(const Quarlink::PublicShare& share)
{
    return std::make_shared<Sync::PublicShareInfoItem>(share.shareID, share.fileID, share.url, share.validTo);
}

std::shared_ptr<const Sync::PrivateShareInfo> privateShareInfo(const Quarlink::PrivateShare& share)
{
    // The service's customer id of the share is not carried over.
    return std::make_shared<Sync::PrivateShareInfoItem>(share.shareID, share.fileID, share.isMine,
        shareInfoStatus(share.status), share.recipient, share.email, share.fileName);
}

SignalProducer<PublicShare, AnyError> publicShare(const std::shared_ptr<Quarlink::APIClient>& client, const Sync::File& item)
{
    auto fileID = item.syncFileID().remoteID();
    if (!fileID)
        return refusal<PublicShare>(APIManagerError::Case::cannotCreateShareForItemWithoutID);
    return Quarlink::unpacked(Quarlink::publicShare(client, *fileID))
        .attemptMap([](std::vector<Quarlink::PublicShare>&& shares) -> Reactive::Result<PublicShare, AnyError> {
            if (shares.empty())
                return std::unexpected(AnyError(APIManagerError(APIManagerError::Case::noShareFromAPI)));
            return publicShareInfo(shares.front());
        });
}

SignalProducer<PrivateShares, AnyError> privateShares(const std::shared_ptr<Quarlink::APIClient>& client, const Sync::File& item)
{
    auto fileID = item.syncFileID().remoteID();
    if (!fileID || !Sync::isFolder(item))
        return refusal<PrivateShares>(APIManagerError::Case::cannotCreateShareForItemWithoutID);
    return Quarlink::unpacked(Quarlink::privateShares(client, *fileID)).map([](std::vector<Quarlink::PrivateShare>&& shares) {
        PrivateShares infos;
        infos.reserve(shares.size());
        for (const auto& share : shares)
            infos.push_back(privateShareInfo(share));
        return infos;
    });
}

SignalProducer<Reactive::Unit, AnyError> permission(const std::shared_ptr<Quarlink::APIClient>& client, const Sync::File& item,
    ShareKind kind)
{
    auto fileID = item.syncFileID().remoteID();
    if (!fileID)
        return refusal<Reactive::Unit>(APIManagerError::Case::cannotCreateShareForItemWithoutID);
    bool folder = Sync::isFolder(item);
    return Quarlink::unpacked(Quarlink::sharePermission(client, *fileID))
        .attemptMap([kind, folder](Quarlink::SharePermission&& granted) -> Reactive::Result<Reactive::Unit, AnyError> {
            bool allowed = kind == ShareKind::publicLink ? granted.isPubliclySharable : granted.isPrivatelySharable;
            if (!allowed)
                return std::unexpected(AnyError(ShareError::notShareable(folder)));
            return Reactive::Unit();
        });
}

SignalProducer<Reactive::Unit, AnyError> deleteShare(const std::shared_ptr<Quarlink::APIClient>& client,
    std::optional<std::int64_t> shareID)
{
    if (!shareID)
        return refusal<Reactive::Unit>(APIManagerError::Case::oldShareWithoutShareID);
    return Quarlink::deleteShare(client, *shareID).filter([](const Reactive::Unit&) { return false; });
}

} // namespace Orvella::ShareRequests
