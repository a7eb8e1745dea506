#pragma once

#include "Orvella/Sharing/PublicShareService.hpp"
#include "Quarlink/Client/APIClient.hpp"

#include <memory>

namespace Orvella {

// The public share service over the API client manager's client. The
// permission check keeps the refusal's own subject; creating a link puts
// "Freigabe konnte nicht vorbereitet werden" over every failure of the check
// and of the request. A stored record's link is reused only while it is
// valid (no expiry date, or one still ahead). No thread of its own.
class APIClientPublicShareService final : public PublicShareService {
public:
    explicit APIClientPublicShareService(std::shared_ptr<Quarlink::APIClient> client)
        : m_client(std::move(client))
    {
    }

    [[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> sharePermission(Sync::FileRef item) override;
    [[nodiscard]] Reactive::SignalProducer<PublicShare, Reactive::AnyError> publicShare(Sync::FileRef item) override;
    [[nodiscard]] Reactive::SignalProducer<PublicShare, Reactive::AnyError> createPublicShare(
        Sync::FileRef item, Sync::ShareLifetime lifetime) override;
    [[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(
        const Sync::PublicShareInfo& share) override;
    [[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(
        const Sync::PrivateShareInfo& share) override;

private:
    std::shared_ptr<Quarlink::APIClient> m_client;
};

} // namespace Orvella
