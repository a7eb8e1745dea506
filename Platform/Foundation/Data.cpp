#include "Platform/Foundation/Data.hpp"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

Data::Data(std::vector<std::uint8_t> bytes)
    : m_bytes(std::move(bytes))
{
}

Data::Data(const void* bytes, std::size_t size)
{
    auto begin = static_cast<const std::uint8_t*>(bytes);
    m_bytes.assign(begin, begin + size);
}

Data Data::fromString(std::string_view text)
{
    return Data(text.data(), text.size());
}

std::expected<Data, std::error_code> Data::contentsOfFile(const std::string& path)
{
    int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return std::unexpected(std::error_code(errno, std::generic_category()));

    // Reading a folder "succeeds" with EISDIR only at read(); refusing early
    // keeps the error the same on every file system.
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        int error = S_ISDIR(status.st_mode) ? EISDIR : (errno ? errno : EINVAL);
        ::close(descriptor);
        return std::unexpected(std::error_code(error, std::generic_category()));
    }

    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(status.st_size));
    std::uint8_t buffer[64 * 1024];
    for (;;) {
        ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count == 0)
            break;
        if (count < 0) {
            if (errno == EINTR)
                continue;
            int error = errno;
            ::close(descriptor);
            return std::unexpected(std::error_code(error, std::generic_category()));
        }
        bytes.insert(bytes.end(), buffer, buffer + count);
    }
    ::close(descriptor);
    return Data(std::move(bytes));
}

std::string_view Data::stringView() const
{
    return std::string_view(reinterpret_cast<const char*>(m_bytes.data()), m_bytes.size());
}

void Data::append(std::span<const std::uint8_t> bytes)
{
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
}

void Data::append(std::string_view text)
{
    auto begin = reinterpret_cast<const std::uint8_t*>(text.data());
    m_bytes.insert(m_bytes.end(), begin, begin + text.size());
}

} // namespace Platform
