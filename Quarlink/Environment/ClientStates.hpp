#pragma once

namespace Quarlink {

// What the client publishes about itself: `notConnected` while the service
// host is not reachable, else `busy` while its request queue holds an
// operation, else `idle`. Equal only to itself; hashable with std::hash.
enum class APIClientStatus {
    idle,
    busy,
    notConnected,
};

// Reachability of the service host. Equal only to itself; hashable with std::hash.
enum class ReachabilityStatus {
    notReachable,
    reachable,
    reachableViaWWAN,
};

} // namespace Quarlink
