#include "Glimmerd/Daemon/InstanceLock.hpp"

#include "Platform/Desktop/ExtensionRegistry.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

namespace Glimmerd {

std::expected<InstanceLock, std::string> InstanceLock::acquire(const std::filesystem::path& groupDirectory)
{
    auto path = groupDirectory / Platform::ExtensionProcesses::instanceLockFileName;
    int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor < 0)
        return std::unexpected("Die Sperrdatei " + path.string() + " lässt sich nicht öffnen: " + std::strerror(errno));
    if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        auto error = errno;
        close(descriptor);
        if (error == EWOULDBLOCK)
            return std::unexpected(std::string("glimmerd läuft für diesen Benutzer bereits."));
        return std::unexpected("Die Sperrdatei " + path.string() + " lässt sich nicht sperren: " + std::strerror(error));
    }
    return InstanceLock(descriptor);
}

InstanceLock::InstanceLock(int descriptor)
    : m_descriptor(descriptor)
{
}

InstanceLock::InstanceLock(InstanceLock&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
{
}

InstanceLock::~InstanceLock()
{
    if (m_descriptor >= 0)
        close(m_descriptor);
}

} // namespace Glimmerd
