#include "Orvella/Sharing/APIClientPublicShareService.hpp"

#include "Orvella/Sharing/ShareRequests.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Shares/ShareOperations.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/Unpacked.hpp"

namespace Orvella {

using Reactive::AnyError;
using Reactive::SignalProducer;

namespace {

constexpr const char* preparationSubject = "Freigabe konnte nicht vorbereitet werden";

} // namespace

SignalProducer<Reactive::Unit, AnyError> APIClientPublicShareService::sharePermission(Sync::FileRef item)
{
    return ShareRequests::permission(m_client, *item, ShareRequests::ShareKind::publicLink);
}

SignalProducer<PublicShareService::PublicShare, AnyError> APIClientPublicShareService::publicShare(Sync::FileRef item)
{
    return ShareRequests::publicShare(m_client, *item);
}

SignalProducer<PublicShareService::PublicShare, AnyError> APIClientPublicShareService::createPublicShare(
    Sync::FileRef item, Sync::ShareLifetime lifetime)
{
    auto fileID = item->syncFileID().remoteID();
    if (!fileID)
        return ShareRequests::refusal<PublicShare>(APIManagerError::Case::cannotCreateShareForItemWithoutID);
    // A dead link would be copied as if it were new: only a valid one is reused.
    if (const auto& link = item->publicShareInfo(); link && Sync::isValid(*link))
        return SignalProducer<PublicShare, AnyError>::value(link);
    auto client = m_client;
    auto id = *fileID;
    auto create = Quarlink::unpacked(Quarlink::createPublicShare(client, id, ShareRequests::shareLifetime(lifetime)))
                      .attemptMap([](std::vector<Quarlink::Share>&& shares) -> Reactive::Result<PublicShare, AnyError> {
                          if (shares.empty() || !shares.front().isPublic())
                              return std::unexpected(AnyError(APIManagerError(APIManagerError::Case::noShareFromAPI)));
                          return ShareRequests::publicShareInfo(*shares.front().publicShare());
                      });
    return sharePermission(item).then(create).mapError(Quarlink::updateSubject(preparationSubject));
}

SignalProducer<Reactive::Unit, AnyError> APIClientPublicShareService::deleteShare(const Sync::PublicShareInfo& share)
{
    return ShareRequests::deleteShare(m_client, share.shareID());
}

SignalProducer<Reactive::Unit, AnyError> APIClientPublicShareService::deleteShare(const Sync::PrivateShareInfo& share)
{
    return ShareRequests::deleteShare(m_client, share.shareID());
}

} // namespace Orvella
