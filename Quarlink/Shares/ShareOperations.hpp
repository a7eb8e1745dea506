#pragma once

#include "Quarlink/Files/File.hpp"
#include "Quarlink/Shares/Owner.hpp"
#include "Quarlink/Shares/PrivateShare.hpp"
#include "Quarlink/Shares/PublicShare.hpp"
#include "Quarlink/Shares/Share.hpp"
#include "Quarlink/Shares/ShareInfo.hpp"
#include "Quarlink/Shares/ShareLifetime.hpp"
#include "Quarlink/Shares/SharePermission.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/CloudMetaPackage.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/SignalProducer.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Quarlink {

class APIClient;

// The share operations of a client. Each one builds its request and returns
// that request's producer: cold (nothing is sent until it is started, and
// each start sends again), one value then completion, or one `AnyError`. A
// rejected session is renewed and the request sent again; failures are
// reported by the pipeline. Every form that takes a `File` uses its `fileID`.
// Arguments go to the service unchecked.

// All shares of a file, in the service's order.
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<std::vector<Share>>, Reactive::AnyError> shares(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID);
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<std::vector<Share>>, Reactive::AnyError> shares(
    const std::shared_ptr<APIClient>& client, const File& file);
// The private shares, or the public links, of a file's share list, in its
// order; every public link of the file, not just one. The envelope keeps the
// received quota (none when the answer had no metadata) and has no delta date.
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<std::vector<PrivateShare>>, Reactive::AnyError> privateShares(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID);
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<std::vector<PrivateShare>>, Reactive::AnyError> privateShares(
    const std::shared_ptr<APIClient>& client, const File& file);
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<std::vector<PublicShare>>, Reactive::AnyError> publicShare(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID);
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<std::vector<PublicShare>>, Reactive::AnyError> publicShare(
    const std::shared_ptr<APIClient>& client, const File& file);
// The owner and all shares of a file.
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<ShareInfo>, Reactive::AnyError> shareInfo(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID);
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<ShareInfo>, Reactive::AnyError> shareInfo(
    const std::shared_ptr<APIClient>& client, const File& file);
// The customer who owns a private share, looked up by the share's `cid`.
[[nodiscard]] Reactive::SignalProducer<Owner, Reactive::AnyError> owner(const std::shared_ptr<APIClient>& client,
    const PrivateShare& share);
// Whether a file may be shared, per kind; a false flag is an answer, not a failure.
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<SharePermission>, Reactive::AnyError> sharePermission(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID);
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<SharePermission>, Reactive::AnyError> sharePermission(
    const std::shared_ptr<APIClient>& client, const File& file);

// A new public link with a lifetime; the list holds what the service made.
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<std::vector<Share>>, Reactive::AnyError> createPublicShare(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID, ShareLifetime lifetime);
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<std::vector<Share>>, Reactive::AnyError> createPublicShare(
    const std::shared_ptr<APIClient>& client, const File& file, ShareLifetime lifetime);
// Private shares to the addresses, as given (neither checked nor deduplicated), with a message.
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<std::vector<Share>>, Reactive::AnyError> createPrivateShare(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID, std::string message, std::vector<std::string> recipients);
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<std::vector<Share>>, Reactive::AnyError> createPrivateShare(
    const std::shared_ptr<APIClient>& client, const File& file, std::string message, std::vector<std::string> recipients);
// A new lifetime for the link with that identifier. Given a `Share`, its
// identifier is sent whichever kind it is: telling a private share apart is
// the service's.
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<PublicShare>, Reactive::AnyError> updateLifetime(
    const std::shared_ptr<APIClient>& client, std::int64_t shareID, ShareLifetime lifetime);
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<PublicShare>, Reactive::AnyError> updateLifetime(
    const std::shared_ptr<APIClient>& client, const PublicShare& share, ShareLifetime lifetime);
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<PublicShare>, Reactive::AnyError> updateLifetime(
    const std::shared_ptr<APIClient>& client, const Share& share, ShareLifetime lifetime);

// Ends one share by its identifier, whichever kind it is: one empty value.
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(const std::shared_ptr<APIClient>& client,
    std::int64_t shareID);
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(const std::shared_ptr<APIClient>& client,
    const Share& share);
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(const std::shared_ptr<APIClient>& client,
    const PublicShare& share);
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(const std::shared_ptr<APIClient>& client,
    const PrivateShare& share);
// Ends a file's public link, or all its private shares: one empty value.
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deletePublicShare(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID);
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deletePublicShare(
    const std::shared_ptr<APIClient>& client, const File& file);
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deletePrivateShares(
    const std::shared_ptr<APIClient>& client, std::int64_t fileID);
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deletePrivateShares(
    const std::shared_ptr<APIClient>& client, const File& file);

// All shares of the account.
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<std::vector<Share>>, Reactive::AnyError> shares(
    const std::shared_ptr<APIClient>& client);
// The private shares awaiting the account's answer.
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<std::vector<PrivateShare>>, Reactive::AnyError> pendingShares(
    const std::shared_ptr<APIClient>& client);
// Accepts a pending share, into the folder and under the name when given.
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<PrivateShare>, Reactive::AnyError> accept(
    const std::shared_ptr<APIClient>& client, std::int64_t shareID, std::optional<std::int64_t> folderID = std::nullopt,
    std::optional<std::string> name = std::nullopt);
// Accepts a pending share under its own file name (sent even when empty),
// into `folder` when one is given.
[[nodiscard]] Reactive::SignalProducer<CloudMetaPackage<PrivateShare>, Reactive::AnyError> accept(
    const std::shared_ptr<APIClient>& client, const PrivateShare& share, const std::optional<File>& folder = std::nullopt);
// Declines a pending share: one empty value.
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> decline(const std::shared_ptr<APIClient>& client,
    std::int64_t shareID);
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> decline(const std::shared_ptr<APIClient>& client,
    const PrivateShare& share);

} // namespace Quarlink
