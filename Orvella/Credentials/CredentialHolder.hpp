#pragma once

#include "Quarlink/Identity/Credentials.hpp"
#include "Reactive/MutableProperty.hpp"

#include <optional>

namespace Orvella {

// Who holds the current credentials: the login and logout flows set them,
// the windows observe them.
class CredentialHolder {
public:
    virtual ~CredentialHolder() = default;
    [[nodiscard]] virtual Reactive::MutableProperty<std::optional<Quarlink::Credentials>>& credentials() = 0;
};

} // namespace Orvella
