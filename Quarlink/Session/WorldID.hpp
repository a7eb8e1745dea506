#pragma once

// Quarlink/Session: logging in, the per-client login settings, renewing a
// rejected session, and the login link to the service's web pages.

#include <optional>
#include <string>
#include <string_view>

namespace Quarlink {

class APIClient;

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

// The key of the client's world in its `userInfos`; the value is the raw value text.
inline constexpr std::string_view worldIDKey = "worldID";

// The client's world: `talvern` when none is stored, or when the entry is no
// string or no world's raw value. No lock of its own: the client guards its
// `userInfos`.
[[nodiscard]] WorldID worldID(const APIClient& client);
// Stores the world's raw value text, replacing any earlier entry.
void setWorldID(APIClient& client, WorldID world);

} // namespace Quarlink
