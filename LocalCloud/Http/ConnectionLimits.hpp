#pragma once

#include <chrono>
#include <cstddef>

namespace LocalCloud {

// How much of the service one client's connection may hold. Connections
// beyond the cap are answered 503 at once unless they bring a whole request
// head at once and a quick slot is free; a request whose head or body
// trickles in is cut off, so slow clients give their threads back.
struct ConnectionLimits {
    // Connections served at once; each has its own thread while it lasts.
    std::size_t maximumConnections = 256;
    // Connections beyond that served one request each, when their whole head
    // is there within `quickHeadWait`: clients that hold connections cannot
    // keep out requests that arrive whole at once.
    std::size_t quickConnections = 16;
    std::chrono::milliseconds quickHeadWait { 250 };
    // The body of such a request may wait only this long for bytes (plus its earned time).
    std::chrono::milliseconds quickBodyWaitAllowance = std::chrono::seconds(2);
    // Time from the first byte of a request to the end of its header fields.
    std::chrono::milliseconds headDeadline = std::chrono::seconds(10);
    // Bytes of a request's head (request line and header fields) ...
    std::size_t maximumHeadBytes = 64 * 1024;
    // ... and header fields in it; a request beyond either is answered 400 and its connection closed.
    std::size_t maximumHeaderFields = 100;
    // Time a request body may spend waiting for bytes, in all, before any byte arrived ...
    std::chrono::milliseconds bodyWaitAllowance = std::chrono::seconds(20);
    // ... and one second more for every so many bytes received.
    std::size_t bodyBytesPerSecondOfWait = 16 * 1024;
};

} // namespace LocalCloud
