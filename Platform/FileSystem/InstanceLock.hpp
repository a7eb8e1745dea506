#pragma once

#include <expected>
#include <filesystem>
#include <system_error>

namespace Platform {

// One running process of a kind per user: an exclusive advisory lock on a
// file, held while the object lives (and dropped by the kernel when the
// process ends, also after a crash).
class InstanceLock {
public:
    // The lock on `lockFile` (made 0600 when missing; a symbolic link there is
    // refused). Fails with `std::errc::resource_unavailable_try_again` when
    // another process (or another lock of this one) holds it, else with the
    // error of opening the file.
    [[nodiscard]] static std::expected<InstanceLock, std::error_code> acquire(const std::filesystem::path& lockFile);

    // Whether `error` of `acquire` means the lock is held elsewhere.
    [[nodiscard]] static bool isHeld(const std::error_code& error);

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&&) = delete;
    InstanceLock(const InstanceLock&) = delete;
    ~InstanceLock();

private:
    explicit InstanceLock(int descriptor) : m_descriptor(descriptor) {}
    int m_descriptor = -1;
};

} // namespace Platform
