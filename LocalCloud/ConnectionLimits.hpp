#pragma once

#include <chrono>
#include <cstddef>

namespace LocalCloud {

// How much of the service one client's connection may hold. Connections
// beyond the cap are answered 503 at once; a request whose head or body
// trickles in is cut off, so slow clients give their threads back.
struct ConnectionLimits {
    // Connections served at once; each has its own thread while it lasts.
    std::size_t maximumConnections = 256;
    // Time from the first byte of a request to the end of its header fields.
    std::chrono::milliseconds headDeadline = std::chrono::seconds(10);
    // Time a request body may spend waiting for bytes, in all, before any byte arrived ...
    std::chrono::milliseconds bodyWaitAllowance = std::chrono::seconds(20);
    // ... and one second more for every so many bytes received.
    std::size_t bodyBytesPerSecondOfWait = 16 * 1024;
};

} // namespace LocalCloud
