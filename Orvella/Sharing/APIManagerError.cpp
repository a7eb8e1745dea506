#include "Orvella/Sharing/APIManagerError.hpp"

#include "Quarlink/Errors/AnyPresentableError.hpp"

namespace Orvella {

std::string APIManagerError::description() const
{
    switch (m_case) {
    case Case::cannotCreateShareForItemWithoutID: return "APIManagerError.cannotCreateShareForItemWithoutID";
    case Case::noShareFromAPI: return "APIManagerError.noShareFromAPI";
    case Case::oldShareWithoutShareID: return "APIManagerError.oldShareWithoutShareID";
    case Case::remoteFileIDisMissing: return "APIManagerError.remoteFileIDisMissing";
    }
    return "APIManagerError";
}

bool APIManagerError::matches(const Reactive::AnyError& error, Case errorCase)
{
    const auto* own = Quarlink::underlyingError(error).as<APIManagerError>();
    return own && own->errorCase() == errorCase;
}

} // namespace Orvella
