#pragma once

#include <expected>
#include <filesystem>
#include <string>

namespace FinderSyncHost {

// Where `glimmerd` listens: "$XDG_RUNTIME_DIR/orvella/glimmerd.sock" when
// XDG_RUNTIME_DIR names an absolute path, else "~/.cache/orvella/glimmerd.sock"
// below the user's home ($HOME when absolute, else the user database's), and
// only without any home "/tmp/orvella-<uid>/glimmerd.sock". Reads the
// environment on every call; creates nothing.
[[nodiscard]] std::filesystem::path glimmerSocketPath();

// Makes sure the socket's directory is a real directory (no symbolic link)
// owned by this user and closed to everyone else (mode 0700): creates it when
// missing, narrows its mode when it is the user's own. Fails with a German
// text when it belongs to someone else or is no directory, so no other user
// can place or watch the socket.
[[nodiscard]] std::expected<void, std::string> prepareSocketDirectory(const std::filesystem::path& socketPath);

// What a client checks before it talks to the socket: its directory is a real
// directory of this user that nobody else may write to (else another user who
// made it first would serve the socket). Fails with a German text.
[[nodiscard]] std::expected<void, std::string> checkSocketDirectory(const std::filesystem::path& socketPath);

// What a client checks once connected: the process at the other end runs as
// this user (SO_PEERCRED). Fails with a German text.
[[nodiscard]] std::expected<void, std::string> checkSocketPeer(int descriptor);

} // namespace FinderSyncHost
