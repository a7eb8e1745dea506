#include "Platform/FileSystem/InstanceLock.hpp"

#include <cerrno>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace Platform {

std::expected<InstanceLock, std::error_code> InstanceLock::acquire(const std::filesystem::path& lockFile)
{
    const int descriptor = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0)
        return std::unexpected(std::error_code(errno, std::generic_category()));
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(descriptor);
        return std::unexpected(std::error_code(error == EWOULDBLOCK ? EAGAIN : error, std::generic_category()));
    }
    return InstanceLock(descriptor);
}

bool InstanceLock::isHeld(const std::error_code& error)
{
    return error == std::errc::resource_unavailable_try_again;
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
{
}

InstanceLock::~InstanceLock()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

} // namespace Platform
