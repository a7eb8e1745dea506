#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace Platform::Testing {

// A private directory below $TMPDIR (or /tmp), removed with everything in it
// when the object goes. `path()` is canonical (no links), as the watcher and
// the resolver report paths.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    explicit TemporaryDirectory(const std::string& parent);
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string& path() const { return m_path; }
    // `path()` + "/" + relative.
    std::string operator/(const std::string& relative) const { return m_path + "/" + relative; }

private:
    std::string m_path;
};

void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool exists(const std::string& path);

// Polls `condition` until it holds or `timeout` passes; true when it held.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = std::chrono::seconds{5});

}  // namespace Platform::Testing
