#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace Platform::Testing {

// A copy of the stand-in extension program (it sleeps until a signal ends
// it) at `relativePath` below `folder`, executable by its owner.
std::filesystem::path installStandInExtension(const std::filesystem::path& folder, const std::string& relativePath);

// Whether `pid` still runs (a zombie counts as ended).
bool isProcessAlive(pid_t pid);

} // namespace Platform::Testing
