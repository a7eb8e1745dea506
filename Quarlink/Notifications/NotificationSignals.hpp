#pragma once

// Quarlink/Notifications: the in-process notifications of the client library
// as reactive streams. The notification centre lives in Platform/Foundation,
// which knows nothing of streams; this adapter joins the two.

#include "Platform/Foundation/NotificationCenter.hpp"
#include "Reactive/Lifetime.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/Signal.hpp"
#include "Reactive/SignalProducer.hpp"

#include <string>

namespace Quarlink {

// Every notification named `name` from `sender` (null: from any sender),
// posted after each start and before the start is disposed. Each start adds
// its own observer, removed when the start ends. Values arrive synchronously
// on the posting thread; never fails or completes by itself. `center` must
// outlive every start.
[[nodiscard]] Reactive::SignalProducer<Platform::Notification, Reactive::NoError> notifications(
    Platform::NotificationCenter& center, std::string name, const void* sender);

// The same as a hot signal, observing from now on until `lifetime` ends; then
// the observer is removed and the signal completes.
[[nodiscard]] Reactive::Signal<Platform::Notification, Reactive::NoError> notificationSignal(
    Platform::NotificationCenter& center, std::string name, const void* sender, Reactive::Lifetime lifetime);

} // namespace Quarlink
