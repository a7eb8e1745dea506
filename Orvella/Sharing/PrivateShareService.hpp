#pragma once

#include "Reactive/AnyError.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/SignalProducer.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Sharing/PrivateShareInfo.hpp"
#include "Sync/Sharing/PublicShareInfo.hpp"

#include <memory>
#include <string>
#include <vector>

namespace Orvella {

// Sharing folders with people by e-mail, for the private share dialog and the
// navigator. Every producer is cold and fails with an `AnyError`.
class PrivateShareService {
public:
    using PrivateShares = std::vector<std::shared_ptr<const Sync::PrivateShareInfo>>;

    virtual ~PrivateShareService() = default;

    // One empty value when the item may be shared with people; every failure
    // but a missing id carries the subject "Freigabe konnte nicht vorbereitet werden".
    [[nodiscard]] virtual Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> sharePermission(Sync::FileRef item) = 0;
    // The folder's private shares, in the service's order.
    [[nodiscard]] virtual Reactive::SignalProducer<PrivateShares, Reactive::AnyError> privateShares(Sync::FileRef item) = 0;
    // Invites `recipients` with `message`; the private shares the service made.
    [[nodiscard]] virtual Reactive::SignalProducer<PrivateShares, Reactive::AnyError> createPrivateShare(
        Sync::FileRef item, std::string message, std::vector<std::string> recipients) = 0;
    // Ends a public link or a private share; completes without a value.
    [[nodiscard]] virtual Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(
        const Sync::PublicShareInfo& share) = 0;
    [[nodiscard]] virtual Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(
        const Sync::PrivateShareInfo& share) = 0;
};

} // namespace Orvella
