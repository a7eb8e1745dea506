#pragma once

// The base URLs of the fixed environments, as the build configured them.
// Defined in a source file that CMake generates.

namespace Quarlink::EnvironmentBaseURLs {

extern const char* const test;
extern const char* const stage;
extern const char* const live;

} // namespace Quarlink::EnvironmentBaseURLs
