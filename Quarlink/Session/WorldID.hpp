#pragma once

// Quarlink/Session: logging in, the per-client login settings, renewing a
// rejected session, and the login link to the service's web pages.

#include <optional>
#include <string>
#include <string_view>

namespace Quarlink {

// The brand's world, sent with every login. Never renumber or reuse the raw values.
enum class WorldID {
    brisanto,
    talvern,
    ravik,
};

// "4", "2" or "5".
[[nodiscard]] std::string_view rawValue(WorldID world);
// The world of exactly one of those texts (case-sensitive, untrimmed); nothing otherwise.
[[nodiscard]] std::optional<WorldID> worldIDFromRawValue(std::string_view text);

} // namespace Quarlink
