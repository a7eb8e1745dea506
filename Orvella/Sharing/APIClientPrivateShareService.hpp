#pragma once

#include "Orvella/Sharing/PrivateShareService.hpp"
#include "Quarlink/Client/APIClient.hpp"

#include <memory>

namespace Orvella {

// The private share service over the API client manager's client. Every
// failure of the permission check, the refusal and a failed request alike,
// but not a missing id, carries "Freigabe konnte nicht vorbereitet werden";
// errors of the invitation itself keep their own subject. No thread of its own.
class APIClientPrivateShareService final : public PrivateShareService {
public:
    explicit APIClientPrivateShareService(std::shared_ptr<Quarlink::APIClient> client)
        : m_client(std::move(client))
    {
    }

    [[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> sharePermission(Sync::FileRef item) override;
    [[nodiscard]] Reactive::SignalProducer<PrivateShares, Reactive::AnyError> privateShares(Sync::FileRef item) override;
    [[nodiscard]] Reactive::SignalProducer<PrivateShares, Reactive::AnyError> createPrivateShare(
        Sync::FileRef item, std::string message, std::vector<std::string> recipients) override;
    [[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(
        const Sync::PublicShareInfo& share) override;
    [[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(
        const Sync::PrivateShareInfo& share) override;

private:
    std::shared_ptr<Quarlink::APIClient> m_client;
};

} // namespace Orvella
