#include "Quarlink/Notifications/NotificationSignals.hpp"

namespace Quarlink {

using Reactive::NoError;
using Platform::Notification;

Reactive::SignalProducer<Notification, NoError> notifications(Platform::NotificationCenter& center, std::string name,
    const void* sender)
{
    return Reactive::SignalProducer<Notification, NoError>(
        [&center, name = std::move(name), sender](Reactive::Observer<Notification, NoError> observer, Reactive::Lifetime lifetime) {
            auto registration = std::make_shared<Platform::NotificationCenter::Registration>(
                center.addObserver(name, sender, [observer](const Notification& notification) { observer.send(notification); }));
            lifetime.observeEnded([registration] { registration->remove(); });
        });
}

Reactive::Signal<Notification, NoError> notificationSignal(Platform::NotificationCenter& center, std::string name,
    const void* sender, Reactive::Lifetime lifetime)
{
    auto [signal, input] = Reactive::Signal<Notification, NoError>::pipe();
    auto registration = std::make_shared<Platform::NotificationCenter::Registration>(
        center.addObserver(std::move(name), sender, [input](const Notification& notification) { input.send(notification); }));
    lifetime.observeEnded([registration, input] {
        registration->remove();
        input.sendCompleted();
    });
    return signal;
}

} // namespace Quarlink
