#include "Platform/Foundation/RegularFile.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace Platform {

namespace {

std::error_code systemError(int code)
{
    return std::error_code(code, std::generic_category());
}

} // namespace

std::expected<RegularFile, std::error_code> RegularFile::open(const std::string& path)
{
    // Neither a link nor a pipe or device swapped in for the file may make the
    // open block or lead elsewhere; a regular file reads the same without O_NONBLOCK.
    int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (descriptor < 0)
        return std::unexpected(systemError(errno));

    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        int error = errno;
        ::close(descriptor);
        return std::unexpected(systemError(error));
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return std::unexpected(systemError(S_ISDIR(status.st_mode) ? EISDIR : EINVAL));
    }
    ::posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);
    return RegularFile(descriptor, static_cast<std::uint64_t>(status.st_size));
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
    , m_size(other.m_size)
{
}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
        m_size = other.m_size;
    }
    return *this;
}

RegularFile::~RegularFile()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

std::expected<std::size_t, std::error_code> RegularFile::read(std::span<std::uint8_t> buffer)
{
    for (;;) {
        ssize_t count = ::read(m_descriptor, buffer.data(), buffer.size());
        if (count >= 0)
            return static_cast<std::size_t>(count);
        if (errno != EINTR)
            return std::unexpected(systemError(errno));
    }
}

} // namespace Platform
