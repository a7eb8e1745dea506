#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Account/CustomerInfo.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/SignalProducer.hpp"

#include <memory>
#include <optional>

namespace Quarlink {

class APIClient;

// The account operations of a client. Each one builds its request and returns
// that request's producer: cold (nothing is sent until it is started, and
// each start sends again), then its values and completion, or one
// `AnyError`. A rejected session is renewed and the request sent again;
// failures are reported by the pipeline.

// The logged-in account's customer data, with its root folder.
[[nodiscard]] Reactive::SignalProducer<CustomerInfo, Reactive::AnyError> customerInfo(const std::shared_ptr<APIClient>& client);
// The same, as a step of a login or a session renewal: a rejected session
// fails it at once with `RemoteError::authenticationRequired`, as a renewal
// it waited for would be waiting for itself.
[[nodiscard]] Reactive::SignalProducer<CustomerInfo, Reactive::AnyError> customerInfoOfNewSession(
    const std::shared_ptr<APIClient>& client);

// Uploads the file as the new profile picture, typed by its MIME type: one empty value.
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> uploadCustomerImage(
    const std::shared_ptr<APIClient>& client, const Platform::URL& fileURL);
// The profile picture as one file URL: placed at `destination` (replacing an
// older file there only once the new one is complete), or, without one, the
// transfer's temporary file, which is then the receiver's to remove.
// Progress is not passed on.
[[nodiscard]] Reactive::SignalProducer<Platform::URL, Reactive::AnyError> downloadCustomerImage(
    const std::shared_ptr<APIClient>& client, std::optional<Platform::URL> destination = std::nullopt);
// Removes the profile picture: one empty value.
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteCustomerImage(
    const std::shared_ptr<APIClient>& client);

} // namespace Quarlink
