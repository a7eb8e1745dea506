#include "Orvella/Launch/InstanceLock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <system_error>

namespace Orvella {

std::optional<InstanceLock> InstanceLock::acquire(const std::filesystem::path& lockFile)
{
    std::error_code error;
    std::filesystem::create_directories(lockFile.parent_path(), error);
    const int descriptor = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return std::nullopt;
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(descriptor);
        return std::nullopt;
    }
    return InstanceLock(descriptor);
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept : m_descriptor(other.m_descriptor)
{
    other.m_descriptor = -1;
}

InstanceLock::~InstanceLock()
{
    if (m_descriptor >= 0) {
        ::close(m_descriptor);
    }
}

} // namespace Orvella
