#pragma once

// Named moments inside a sync at which a crash is most dangerous (a file
// placed but not yet recorded, half an upload, an open store transaction, a
// folder moved on disk). Nothing happens at them unless a process installs a
// handler, which only the crash-safety driver does: with none installed a
// kill point costs one relaxed load and a branch.

#include <atomic>

namespace Platform {

using KillPointHandler = void (*)(const char* name);

// The process's one handler (nullptr: none).
extern std::atomic<KillPointHandler> killPointHandler;

inline void killPoint(const char* name)
{
    if (auto handler = killPointHandler.load(std::memory_order_relaxed)) [[unlikely]]
        handler(name);
}

} // namespace Platform
