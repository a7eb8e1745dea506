#pragma once

#include <filesystem>
#include <optional>

namespace Orvella {

// One running application per user: an exclusive lock on a file in the
// group directory, held until the process ends (the system drops it then,
// also after a crash).
class InstanceLock {
public:
    // Nothing when another process (or another lock of this one) holds it.
    [[nodiscard]] static std::optional<InstanceLock> acquire(const std::filesystem::path& lockFile);

    InstanceLock(InstanceLock&& other) noexcept;
    InstanceLock& operator=(InstanceLock&&) = delete;
    InstanceLock(const InstanceLock&) = delete;
    ~InstanceLock();

private:
    explicit InstanceLock(int descriptor) : m_descriptor(descriptor) {}
    int m_descriptor = -1;
};

} // namespace Orvella
