#pragma once

#include "Reactive/AnyError.hpp"

#include <string>

namespace Orvella {

// The text of a "Freigabe fehlgeschlagen" notification: the presentable
// reason of the API library's errors, else the error's description.
[[nodiscard]] std::string shareFailureText(const Reactive::AnyError& error);

} // namespace Orvella
