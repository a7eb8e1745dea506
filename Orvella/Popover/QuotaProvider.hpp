#pragma once

#include "Quarlink/Envelope/Quota.hpp"
#include "Reactive/Property.hpp"

namespace Orvella {

// The last storage quota the service reported (0 of 1,000,000,000 bytes
// before the first report), served by the API client manager. Changes on any thread.
class QuotaProvider {
public:
    virtual ~QuotaProvider() = default;

    [[nodiscard]] virtual Reactive::Property<Quarlink::Quota> quota() const = 0;
};

} // namespace Orvella
