#pragma once

#include "Quarlink/Environment/Environment.hpp"

#include <string>
#include <string_view>
#include <vector>

namespace Orvella {

// The text of an environment as the settings store it: "Test", "Stage",
// "Live", or a custom environment's base URL.
[[nodiscard]] std::string description(const Quarlink::Environment& environment);

// The environments this build offers, in order: only live.
[[nodiscard]] std::vector<Quarlink::Environment> availableEnvironments();

// Parses a stored name: "Test" and "Test12" give test, "Stage" stage, every
// other text live (exact, case-sensitive); a result this build does not offer
// gives live. A custom base URL is never parsed from a name.
[[nodiscard]] Quarlink::Environment environmentNamed(std::string_view name);

// Two environments are the same when their texts are.
[[nodiscard]] bool sameEnvironment(const Quarlink::Environment& left, const Quarlink::Environment& right);

} // namespace Orvella
