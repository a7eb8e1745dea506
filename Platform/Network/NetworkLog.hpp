#pragma once

// Internal to Platform/Network: the layer's one way to log, so it can move to
// the Foundation logger in one place.

#include <iostream>
#include <string_view>

namespace Platform {

inline void logNetwork(std::string_view line)
{
    std::cerr << line << '\n';
}

} // namespace Platform
