#pragma once

#include "Reactive/AnyError.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/SignalProducer.hpp"
#include "Sync/Model/File.hpp"
#include "Sync/Sharing/PrivateShareInfo.hpp"
#include "Sync/Sharing/PublicShareInfo.hpp"
#include "Sync/Sharing/ShareLifetime.hpp"

#include <memory>

namespace Orvella {

// Public links for the link dialog and the navigator. Every producer is cold
// and fails with an `AnyError`; a refused share with a `ShareError`.
class PublicShareService {
public:
    using PublicShare = std::shared_ptr<const Sync::PublicShareInfo>;

    virtual ~PublicShareService() = default;

    // One empty value when the item may get a public link.
    [[nodiscard]] virtual Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> sharePermission(Sync::FileRef item) = 0;
    // The item's current link.
    [[nodiscard]] virtual Reactive::SignalProducer<PublicShare, Reactive::AnyError> publicShare(Sync::FileRef item) = 0;
    // A stored record's link when it is still valid, else a new link with `lifetime`.
    [[nodiscard]] virtual Reactive::SignalProducer<PublicShare, Reactive::AnyError> createPublicShare(
        Sync::FileRef item, Sync::ShareLifetime lifetime) = 0;
    // Ends a public link or a private share; completes without a value.
    [[nodiscard]] virtual Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(
        const Sync::PublicShareInfo& share) = 0;
    [[nodiscard]] virtual Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(
        const Sync::PrivateShareInfo& share) = 0;
};

} // namespace Orvella
