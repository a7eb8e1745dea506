#include "Orvella/ShareDialogs/ShareFailureText.hpp"

#include "Quarlink/Errors/PresentableError.hpp"

namespace Orvella {

std::string shareFailureText(const Reactive::AnyError& error)
{
    if (const auto* presentable = error.as<Quarlink::PresentableError>()) {
        return presentable->reason();
    }
    return error.description();
}

} // namespace Orvella
