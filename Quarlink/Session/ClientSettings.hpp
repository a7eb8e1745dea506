#pragma once

#include "Quarlink/Session/WorldID.hpp"

#include <memory>
#include <string_view>

namespace Quarlink {

class APIClient;
class SessionRefresher;

// The per-client login settings, kept in the client's `userInfos` so that the
// client itself needs to know nothing of them. They take no lock of their own:
// the client guards its `userInfos`.

// The key of the world's raw value (a string).
inline constexpr std::string_view worldIDKey = "worldID";
// The key of the session refresher (a `std::shared_ptr<SessionRefresher>`).
inline constexpr std::string_view refresherKey = "refresher";

// The stored world; `talvern` when none is stored, or when the entry is no
// string or no world's raw value.
[[nodiscard]] WorldID worldID(const APIClient& client);
// Stores the world's raw value, replacing any earlier entry.
void setWorldID(APIClient& client, WorldID world);

// The stored refresher; null when none is stored or the entry holds anything else.
[[nodiscard]] std::shared_ptr<SessionRefresher> sessionRefresher(const APIClient& client);
// Stores the refresher (the client then keeps it alive); null removes the entry.
void setSessionRefresher(APIClient& client, std::shared_ptr<SessionRefresher> refresher);

} // namespace Quarlink
