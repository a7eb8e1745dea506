#pragma once

#include <chrono>
#include <filesystem>

namespace Platform {

// Settings every task of a session shares.
struct URLSessionConfiguration {
    // A task fails with `timedOut` when not a single byte moved for this long.
    // There is deliberately no total time-out, so large transfers are never cut.
    std::chrono::seconds idleTimeout{60};
    // How long an upload's answer may take once its whole file went out. A
    // service checks and stores what it received before it says a word, and
    // for a large file that takes far longer than any idle pause: the idle
    // time-out must not call such an upload failed while it is being stored.
    std::chrono::seconds answerTimeout{600};
    // Longest time to establish a connection (name lookup and TLS included).
    std::chrono::seconds connectTimeout{60};
    // Redirects followed before a task fails with `httpTooManyRedirects`.
    long maximumRedirects = 16;
    // Folder where download tasks create their temporary files; empty means
    // the system's temporary directory.
    std::filesystem::path temporaryDirectory;
    // Verify https peers against the system's certificate authorities.
    bool verifiesPeer = true;
};

} // namespace Platform
