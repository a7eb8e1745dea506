#pragma once

#include <expected>
#include <filesystem>
#include <string>

namespace Glimmerd {

// Keeps a second glimmerd of the same user from starting: an exclusive
// advisory lock on "glimmerd.lock" in the group directory, held while the
// object lives (and released by the kernel when the process dies).
class InstanceLock {
public:
    // Fails with a German text when another process holds the lock or the file cannot be opened.
    [[nodiscard]] static std::expected<InstanceLock, std::string> acquire(const std::filesystem::path& groupDirectory);

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&&) = delete;
    ~InstanceLock();

private:
    explicit InstanceLock(int descriptor);
    int m_descriptor = -1;
};

} // namespace Glimmerd
