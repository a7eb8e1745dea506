#pragma once

namespace LocalCloud {

// A loopback port nobody listens on right now: bound once, then released.
// Another process may take it before the caller does, which on a test
// machine's loopback is rare enough for tests and benchmarks.
[[nodiscard]] int unusedLoopbackPort();

// Whether something accepts connections on 127.0.0.1 at `port`.
[[nodiscard]] bool acceptsOnLoopback(int port);

} // namespace LocalCloud
