#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <system_error>

namespace Platform {

// A regular file opened for reading from start to end; the descriptor closes
// with the object. Folders and special files are refused when opening, so
// every file system reports them alike (a folder is EISDIR); a symbolic link
// is refused (ELOOP) and a pipe never blocks the open.
class RegularFile {
public:
    [[nodiscard]] static std::expected<RegularFile, std::error_code> open(const std::string& path);

    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    ~RegularFile();

    // The size when the file was opened; a hint, since the file may change.
    [[nodiscard]] std::uint64_t size() const { return m_size; }

    // Reads the next bytes into `buffer`, retrying on EINTR; 0 at the end.
    [[nodiscard]] std::expected<std::size_t, std::error_code> read(std::span<std::uint8_t> buffer);

private:
    RegularFile(int descriptor, std::uint64_t size) : m_descriptor(descriptor), m_size(size) {}

    int m_descriptor = -1;
    std::uint64_t m_size = 0;
};

} // namespace Platform
