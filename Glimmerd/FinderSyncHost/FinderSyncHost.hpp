#pragma once

// Glimmerd/FinderSyncHost: serves an extension (FinderSyncKit) to file
// managers and to glimmerctl over a unix stream socket.

#include "Glimmerd/FinderSyncKit/FinderSyncController.hpp"
#include "Glimmerd/FinderSyncKit/FinderSyncExtension.hpp"

#include <chrono>
#include <expected>
#include <filesystem>
#include <memory>
#include <string>
#include <sys/types.h>

namespace FinderSyncHost {

struct FinderSyncHostOptions {
    // The socket file; its directory is prepared as `prepareSocketDirectory` does.
    std::filesystem::path socketPath;
    // The only user whose processes are served (checked by peer credentials).
    uid_t allowedUser = ::getuid();
    // A subscriber whose unsent events exceed this many bytes is cut off, so
    // a client that stops reading cannot make the host grow without bound.
    std::size_t maximumPendingBytes = 16 * 1024 * 1024;
    // Connections served at once; a further one is closed unanswered, so a
    // flood of clients cannot exhaust the host's descriptors or memory.
    std::size_t maximumConnections = 256;
    // A connection that has not subscribed is closed after this long without a byte.
    std::chrono::milliseconds idleTimeout = std::chrono::seconds(60);
};

// Listens on a unix stream socket and answers the requests of
// `FinderSyncProtocol`, one connection per client, each line in order. The
// connection of another user's process is closed at once; a line longer than
// `maximumLineLength` closes its connection; everything else gets an answer.
// Connections beyond `maximumConnections` and idle ones are closed.
// Subscribed clients get the controller's badge and directory changes.
//
// Threading: create, use and destroy on the main thread of a running Qt
// event loop (a QCoreApplication must exist); requests are handled there.
// Destruction closes every connection and removes the socket file.
class FinderSyncHost {
public:
    // Fails with a German text when the directory is unsafe or the socket
    // cannot be bound. A socket file left by a dead process is replaced; the
    // caller makes sure no other host of this user runs (glimmerd's lock).
    [[nodiscard]] static std::expected<std::unique_ptr<FinderSyncHost>, std::string> listen(
        FinderSyncHostOptions options, std::shared_ptr<FinderSyncKit::FinderSyncController> controller,
        std::shared_ptr<FinderSyncKit::FinderSyncExtension> extension);
    ~FinderSyncHost();

    FinderSyncHost(const FinderSyncHost&) = delete;
    FinderSyncHost& operator=(const FinderSyncHost&) = delete;

    [[nodiscard]] const std::filesystem::path& socketPath() const;
    // The number of open client connections.
    [[nodiscard]] std::size_t connectionCount() const;

    struct Implementation;

private:
    explicit FinderSyncHost(std::unique_ptr<Implementation> implementation);
    std::unique_ptr<Implementation> m_implementation;
};

} // namespace FinderSyncHost
