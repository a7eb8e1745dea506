#pragma once

// Orvella/Service: the application's one facade over the API client (login,
// logout, customer data, reachability, quota) and its adapter for the sync
// engine.

#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Account/CustomerInfo.hpp"
#include "Quarlink/Environment/ClientStates.hpp"
#include "Quarlink/Identity/Credentials.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Property.hpp"
#include "Reactive/SignalProducer.hpp"

#include <optional>

namespace Orvella {

// What the windows and the application delegate use of the service.
class APIManager {
public:
    virtual ~APIManager() = default;

    // Logged in means: credentials are stored. No request is made.
    [[nodiscard]] virtual Reactive::Property<bool> isLoggedIn() const = 0;
    // A new property on each call: `notReachable`, then every assessment of the client.
    [[nodiscard]] virtual Reactive::Property<Quarlink::ReachabilityStatus> reachability() const = 0;
    // The customer data of the last login; nothing at start and after logout.
    [[nodiscard]] virtual Reactive::Property<std::optional<Quarlink::CustomerInfo>> customerInfo() const = 0;
    // A one-time login address for the service's web pages.
    [[nodiscard]] virtual Reactive::SignalProducer<Platform::URL, Reactive::AnyError> loginHashURL() const = 0;
    // Logs in, or joins the login already running and shares its outcome.
    [[nodiscard]] virtual Reactive::SignalProducer<Quarlink::CustomerInfo, Reactive::AnyError> login(
        const Quarlink::Credentials& credentials) = 0;
    // Forgets the login at once and cancels every request; cannot fail.
    virtual void logout() = 0;
};

} // namespace Orvella
