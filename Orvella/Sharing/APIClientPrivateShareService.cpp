#include "Orvella/Sharing/APIClientPrivateShareService.hpp"

#include "Orvella/Sharing/ShareRequests.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Shares/ShareOperations.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/Unpacked.hpp"

namespace Orvella {

using Reactive::AnyError;
using Reactive::SignalProducer;

SignalProducer<Reactive::Unit, AnyError> APIClientPrivateShareService::sharePermission(Sync::FileRef item)
{
    if (!item->syncFileID().remoteID())
        return ShareRequests::refusal<Reactive::Unit>(APIManagerError::Case::cannotCreateShareForItemWithoutID);
    return ShareRequests::permission(m_client, *item, ShareRequests::ShareKind::privateShare)
        .mapError(Quarlink::updateSubject("Freigabe konnte nicht vorbereitet werden"));
}

SignalProducer<PrivateShareService::PrivateShares, AnyError> APIClientPrivateShareService::privateShares(Sync::FileRef item)
{
    return ShareRequests::privateShares(m_client, *item);
}

SignalProducer<PrivateShareService::PrivateShares, AnyError> APIClientPrivateShareService::createPrivateShare(
    Sync::FileRef item, std::string message, std::vector<std::string> recipients)
{
    auto fileID = item->syncFileID().remoteID();
    if (!fileID)
        return ShareRequests::refusal<PrivateShares>(APIManagerError::Case::cannotCreateShareForItemWithoutID);
    auto invite = Quarlink::unpacked(Quarlink::createPrivateShare(m_client, *fileID, std::move(message), std::move(recipients)))
                      .map([](std::vector<Quarlink::Share>&& shares) {
                          PrivateShares infos;
                          for (const auto& share : shares) {
                              if (auto privateShare = share.privateShare())
                                  infos.push_back(ShareRequests::privateShareInfo(*privateShare));
                          }
                          return infos;
                      });
    return sharePermission(item).then(invite);
}

SignalProducer<Reactive::Unit, AnyError> APIClientPrivateShareService::deleteShare(const Sync::PublicShareInfo& share)
{
    return ShareRequests::deleteShare(m_client, share.shareID());
}

SignalProducer<Reactive::Unit, AnyError> APIClientPrivateShareService::deleteShare(const Sync::PrivateShareInfo& share)
{
    return ShareRequests::deleteShare(m_client, share.shareID());
}

} // namespace Orvella
