#pragma once

#include "Platform/FileSystem/ExtendedAttributes.hpp"

namespace Platform {

// Extended attributes of a file system that has none: every call answers
// `notSupported` (errno EOPNOTSUPP), as the kernel does for such a mount.
// For tests of code that must keep working there.
class UnsupportedExtendedAttributes final : public ExtendedAttributes {
public:
    std::expected<std::optional<Bytes>, FileSystemError> value(const std::string& path,
                                                               const std::string& name) const override;
    std::expected<void, FileSystemError> setValue(const std::string& path, const std::string& name,
                                                  const Bytes& value) const override;
    std::expected<void, FileSystemError> removeValue(const std::string& path, const std::string& name) const override;
};

}  // namespace Platform
