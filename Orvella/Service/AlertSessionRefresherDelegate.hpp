#pragma once

#include "Quarlink/Identity/Credentials.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/SignalProducer.hpp"

namespace Orvella {

// How the session refresher logs in again after the service rejected the
// session: completes when the new login and its customer request succeeded.
class AlertSessionRefresherDelegate {
public:
    virtual ~AlertSessionRefresherDelegate() = default;
    [[nodiscard]] virtual Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> refreshSession(
        const Quarlink::Credentials& credentials) = 0;
};

} // namespace Orvella
