#pragma once

#include "Orvella/Resolver/Resolver.hpp"
#include "Shared/SharedConstants.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Reactive/Property.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <functional>
#include <memory>
#include <string>

namespace Orvella {

// Binds the popover's content to the login state: the current value, then
// every change, repeats dropped, each on `mainQueue` mapped to a freshly
// resolved `LoggedIn` (logged in) or `LoggedOut` controller handed to
// `setContent`. A controller that cannot be resolved leaves the popover
// without content: the failure is logged with "❗️", the key and the error,
// and `stop` ends the program rather than let it run on half-built.
// The binding lasts until the returned disposable is disposed.
template<class Content, class LoggedIn, class LoggedOut>
[[nodiscard]] Reactive::AnyDisposable bindPopoverContent(Resolver& resolver, const Reactive::Property<bool>& isLoggedIn,
    Reactive::SchedulerPtr mainQueue, std::function<void(std::shared_ptr<Content>)> setContent,
    std::function<void(const std::string&)> stop = [](const std::string& message) { fatalError(message); })
{
    return isLoggedIn.producer()
        .skipRepeats()
        .observeOn(std::move(mainQueue))
        .startWithValues([&resolver, isLoggedIn, setContent = std::move(setContent), stop = std::move(stop)](bool loggedIn) {
            auto content = [&]() -> std::expected<std::shared_ptr<Content>, ResolutionError> {
                if (loggedIn)
                    return resolver.resolve<LoggedIn>();
                return resolver.resolve<LoggedOut>();
            }();
            if (!content) {
                const std::string message = "Der Inhalt des Popovers (" + content.error().key() + ") kann nicht gebaut werden: "
                    + content.error().description();
                Platform::Log::failure(message);
                stop(message);
                return;
            }
            setContent(*content);
        });
}

} // namespace Orvella
