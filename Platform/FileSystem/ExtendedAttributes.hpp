#pragma once

#include "Platform/FileSystem/FileSystemError.hpp"

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Platform {

// Extended attributes of items, in the `user.` namespace only. Names are given
// in full and must begin with "user."; any other name is refused with
// `invalidPath` before the disk is touched. Symbolic links are never followed
// (Linux allows no user attributes on links, so a link answers
// `notSupported`-like errors instead of reaching its target).
//
// A file system without user attributes (an old tmpfs, procfs, some network
// shares) answers `notSupported` from every call, which callers treat as
// "this item carries no attribute". All calls are synchronous, thread-safe
// and hold no state.
class ExtendedAttributes {
public:
    using Bytes = std::vector<std::uint8_t>;

    virtual ~ExtendedAttributes() = default;

    // The value, nothing when the item has no attribute of that name.
    [[nodiscard]] virtual std::expected<std::optional<Bytes>, FileSystemError> value(const std::string& path,
                                                                                     const std::string& name) const = 0;
    // Writes or replaces the value.
    [[nodiscard]] virtual std::expected<void, FileSystemError> setValue(const std::string& path,
                                                                        const std::string& name,
                                                                        const Bytes& value) const = 0;
    // Removes the attribute; one that is not there is `notFound`.
    [[nodiscard]] virtual std::expected<void, FileSystemError> removeValue(const std::string& path,
                                                                           const std::string& name) const = 0;

    // The real attributes of the file system (getxattr(2) and friends).
    static std::shared_ptr<const ExtendedAttributes> system();
};

}  // namespace Platform
