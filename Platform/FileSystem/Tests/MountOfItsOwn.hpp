#pragma once

#include <functional>
#include <string>

namespace Platform::Testing {

// What a child process reported: the problems it found (empty when none), or
// why it could not run.
struct ChildOutcome {
    bool skipped = false;
    std::string text;
};

// Runs `work` in a child process with a mount namespace of its own, where a
// fresh tmpfs (mounted with `options`, such as "size=64k") is mounted at
// `mountPoint`: the test owns the whole file system, its top directory
// included, and nobody else sees it. Root may make the namespace directly;
// anyone else through a user namespace, where available; `skipped` when
// neither is. `work` answers its problems as text, empty when there are none.
ChildOutcome inMountOfItsOwn(const std::string& mountPoint, const std::function<std::string()>& work,
                             const std::string& options = "mode=0755");

}  // namespace Platform::Testing
