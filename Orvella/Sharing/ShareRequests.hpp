#pragma once

#include "Orvella/Sharing/APIManagerError.hpp"
#include "Quarlink/Client/APIClient.hpp"
#include "Quarlink/Shares/PrivateShare.hpp"
#include "Quarlink/Shares/PublicShare.hpp"
#include "Quarlink/Shares/ShareLifetime.hpp"
#include "Quarlink/Shares/ShareStatus.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/SignalProducer.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Sharing/PrivateShareInfo.hpp"
#include "Sync/Sharing/PublicShareInfo.hpp"
#include "Sync/Sharing/ShareInfoStatus.hpp"
#include "Sync/Sharing/ShareLifetime.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// The share work that the sync adapter and the two share services have in
// common: the explicit mappings between the engine's and the API library's
// share types, and the requests for an engine file. Each producer is cold; an
// item without the remote id it needs fails it before any request.
namespace Orvella::ShareRequests {

using PublicShare = std::shared_ptr<const Sync::PublicShareInfo>;
using PrivateShares = std::vector<std::shared_ptr<const Sync::PrivateShareInfo>>;

[[nodiscard]] Sync::ShareInfoStatus shareInfoStatus(Quarlink::ShareStatus status);
[[nodiscard]] Quarlink::ShareLifetime shareLifetime(Sync::ShareLifetime lifetime);
[[nodiscard]] PublicShare publicShareInfo(const Quarlink::PublicShare& share);
[[nodiscard]] std::shared_ptr<const Sync::PrivateShareInfo> privateShareInfo(const Quarlink::PrivateShare& share);

// A producer that fails at once with the manager's error.
template<class V>
[[nodiscard]] Reactive::SignalProducer<V, Reactive::AnyError> refusal(APIManagerError::Case errorCase)
{
    return Reactive::SignalProducer<V, Reactive::AnyError>::error(Reactive::AnyError(APIManagerError(errorCase)));
}

// The item's first public link (`cannotCreateShareForItemWithoutID` without a
// remote id, `noShareFromAPI` when the service lists none).
[[nodiscard]] Reactive::SignalProducer<PublicShare, Reactive::AnyError> publicShare(
    const std::shared_ptr<Quarlink::APIClient>& client, const Sync::File& item);
// A folder's private shares, order kept (`cannotCreateShareForItemWithoutID`
// for a file or an item without remote id).
[[nodiscard]] Reactive::SignalProducer<PrivateShares, Reactive::AnyError> privateShares(
    const std::shared_ptr<Quarlink::APIClient>& client, const Sync::File& item);
// One empty value when the permission of the kind is granted; else a
// `ShareError` with the texts for the item's kind.
enum class ShareKind { publicLink, privateShare };
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> permission(
    const std::shared_ptr<Quarlink::APIClient>& client, const Sync::File& item, ShareKind kind);
// Ends the share with `shareID` (`oldShareWithoutShareID` without one).
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(
    const std::shared_ptr<Quarlink::APIClient>& client, std::optional<std::int64_t> shareID);

} // namespace Orvella::ShareRequests
