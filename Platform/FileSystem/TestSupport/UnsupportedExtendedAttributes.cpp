#include "Platform/FileSystem/TestSupport/UnsupportedExtendedAttributes.hpp"

#include <cerrno>

namespace Platform {

namespace {

FileSystemError unsupported(const std::string& path)
{
    return FileSystemError{FileSystemErrorCode::notSupported, EOPNOTSUPP, path};
}

}  // namespace

std::expected<std::optional<ExtendedAttributes::Bytes>, FileSystemError>
UnsupportedExtendedAttributes::value(const std::string& path, const std::string&) const
{
    return std::unexpected(unsupported(path));
}

std::expected<void, FileSystemError> UnsupportedExtendedAttributes::setValue(const std::string& path,
                                                                             const std::string&, const Bytes&) const
{
    return std::unexpected(unsupported(path));
}

std::expected<void, FileSystemError> UnsupportedExtendedAttributes::removeValue(const std::string& path,
                                                                                const std::string&) const
{
    return std::unexpected(unsupported(path));
}

}  // namespace Platform
