#pragma once

// Internal to LocalCloud: the HTTP server a service left running can afford.

#include "LocalCloud/Http/ConnectionLimits.hpp"

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace LocalCloud {

// An HTTP server whose connections cannot be held by clients that send slowly:
// every connection gets a thread of its own (started when needed), up to a
// cap; a connection beyond the cap is answered 503 at once and closed, unless
// its whole request head is there at once and one of a few quick slots is
// free, in which case its one request is served. The
// head of each request (request line and header fields) must arrive within a
// deadline, and a request body may wait for its bytes only so long in all, so
// a client sending a byte now and then gives its thread back soon. Gates,
// slow answers and long transfers the service itself makes are not limited.
//
// Threading: the limits are set before listening; `connectionCount` and
// `waitForConnections` may be called from any thread.
class GuardedServer : public httplib::Server {
public:
    using Limits = ConnectionLimits;

    GuardedServer();

    void setLimits(const Limits& limits);
    // Connections being served now, refused ones not counted.
    [[nodiscard]] std::size_t connectionCount() const;
    [[nodiscard]] bool waitForConnections(std::size_t count, std::chrono::milliseconds timeout) const;
    // Lets the kernel hold many connections not yet accepted; call once bound.
    void widenBacklog();
    // Tells the connection the calling thread serves that the request's head is
    // complete (call from the pre-routing handler); from here on its body rules hold.
    static void headReceived();
    // Ends the connection the calling thread serves once its answer is out
    // (for a request whose body was left unread).
    static void closeAfterAnswer();

private:
    bool process_and_close_socket(socket_t socket) override;
    [[nodiscard]] bool admit();
    void release();
    // Serves the one request of a connection beyond the cap if its whole head
    // arrives at once; false when it was not served.
    [[nodiscard]] bool serveQuickly(socket_t socket);

    Limits m_limits;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::size_t m_connections = 0;
    std::size_t m_quickConnections = 0;
};

} // namespace LocalCloud
