#include "Quarlink/Session/SessionOperations.hpp"

#include "Quarlink/Requests/Perform.hpp"
#include "Quarlink/Session/CreateLoginHashRequest.hpp"
#include "Quarlink/Session/LoginRequest.hpp"

namespace Quarlink {

Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> login(const std::shared_ptr<APIClient>& client,
    const Credentials& credentials, std::optional<WorldID> world)
{
    auto request = LoginRequest::make(credentials, world.value_or(worldID(*client)));
    return perform(request, client);
}

Reactive::SignalProducer<Platform::URL, Reactive::AnyError> loginHashURL(const std::shared_ptr<APIClient>& client)
{
    return perform(CreateLoginHashRequest(), client);
}

} // namespace Quarlink
