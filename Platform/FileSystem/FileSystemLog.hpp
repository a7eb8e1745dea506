#pragma once

#include <string_view>

namespace Platform {

// Writes one line for this layer. Kept in one place so it can move to the
// Foundation logger without touching the callers. Thread-safe.
void logFileSystem(std::string_view line);

}  // namespace Platform
