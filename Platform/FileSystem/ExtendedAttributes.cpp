#include "Platform/FileSystem/ExtendedAttributes.hpp"

#include <array>
#include <cerrno>
#include <sys/xattr.h>

namespace Platform {

namespace {

bool isUserName(const std::string& name)
{
    return name.size() > 5 && name.compare(0, 5, "user.") == 0;
}

FileSystemError attributeError(int error, const std::string& path)
{
    // EPERM is what Linux answers for user attributes on links and special files.
    if (error == EOPNOTSUPP || error == EPERM) {
        return FileSystemError{FileSystemErrorCode::notSupported, error, path};
    }
    if (error == ENODATA) {
        return FileSystemError{FileSystemErrorCode::notFound, error, path};
    }
    return FileSystemError::fromErrno(error, path);
}

// Larger than the engine's own binding (an archived id, a path hash and a file identity).
constexpr std::size_t usualValueSize = 1024;

class SystemExtendedAttributes final : public ExtendedAttributes {
public:
    std::expected<std::optional<Bytes>, FileSystemError> value(const std::string& path,
                                                               const std::string& name) const override
    {
        if (!isUserName(name)) {
            return std::unexpected(FileSystemError::make(FileSystemErrorCode::invalidPath, path));
        }
        // Most values fit a small buffer, so the first call reads them. A
        // larger one is asked for its size; it may grow again before it is read.
        // The small buffer lives on the stack: the value is then copied at
        // its own size, so a scan neither clears nor keeps a kilobyte per item.
        std::size_t capacity = usualValueSize;
        for (int attempt = 0; attempt < 5; ++attempt) {
            std::array<std::uint8_t, usualValueSize> small;
            Bytes large;
            std::uint8_t* buffer = small.data();
            // Never a size of 0: that would ask for the length instead of the value.
            std::size_t bufferSize = small.size();
            if (capacity > small.size()) {
                large.resize(capacity);
                buffer = large.data();
                bufferSize = capacity;
            }
            ssize_t const read = ::lgetxattr(path.c_str(), name.c_str(), buffer, bufferSize);
            if (read >= 0) {
                if (buffer == small.data()) {
                    return std::optional<Bytes>{Bytes(small.begin(), small.begin() + read)};
                }
                large.resize(static_cast<std::size_t>(read));
                return std::optional<Bytes>{std::move(large)};
            }
            if (errno == ENODATA) {
                return std::optional<Bytes>{};
            }
            if (errno != ERANGE) {
                return std::unexpected(attributeError(errno, path));
            }
            ssize_t const size = ::lgetxattr(path.c_str(), name.c_str(), nullptr, 0);
            if (size < 0) {
                if (errno == ENODATA) {
                    return std::optional<Bytes>{};
                }
                return std::unexpected(attributeError(errno, path));
            }
            capacity = static_cast<std::size_t>(size);
        }
        return std::unexpected(FileSystemError::fromErrno(ERANGE, path));
    }

    std::expected<void, FileSystemError> setValue(const std::string& path, const std::string& name,
                                                  const Bytes& value) const override
    {
        if (!isUserName(name)) {
            return std::unexpected(FileSystemError::make(FileSystemErrorCode::invalidPath, path));
        }
        if (::lsetxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) != 0) {
            return std::unexpected(attributeError(errno, path));
        }
        return {};
    }

    std::expected<void, FileSystemError> removeValue(const std::string& path, const std::string& name) const override
    {
        if (!isUserName(name)) {
            return std::unexpected(FileSystemError::make(FileSystemErrorCode::invalidPath, path));
        }
        if (::lremovexattr(path.c_str(), name.c_str()) != 0) {
            return std::unexpected(attributeError(errno, path));
        }
        return {};
    }
};

}  // namespace

std::shared_ptr<const ExtendedAttributes> ExtendedAttributes::system()
{
    static auto const instance = std::make_shared<const SystemExtendedAttributes>();
    return instance;
}

}  // namespace Platform
