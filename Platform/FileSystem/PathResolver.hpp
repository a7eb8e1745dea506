#pragma once

#include "Platform/FileSystem/FileSystemError.hpp"

#include <expected>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

// The one way from a stored or server path ("/Docs/a.txt", "/Docs/") to a path
// on disk below the cloud folder. Every disk operation of the engine goes
// through it, so no path can leave the folder:
// - the path is split on "/"; one leading and one trailing "/" are allowed,
//   nothing else: an empty component, ".", "..", a NUL byte or a component
//   that is not valid UTF-8 is refused (`invalidPath`) before the disk is
//   looked at;
// - the cloud folder's own location is made canonical (realpath); below it,
//   an existing directory on the way that is a symbolic link is refused
//   (`symbolicLink`); the last component may be a link (operations never
//   follow it);
// - names on Linux compare byte for byte, but the engine stores NFC: for each
//   component the entry named exactly as given is taken, else one named by the
//   NFC form, else one named by the NFD form (as other systems write names);
//   a component with no entry (something about to be made) is written in NFC.
//
// Stateless apart from the folder; reads the disk on every call (the folder
// and the tree may change between calls). Safe from any thread.
class PathResolver {
public:
    explicit PathResolver(std::string cloudFolder);

    // The checked components of a relative path (none for "" and "/").
    [[nodiscard]] static std::expected<std::vector<std::string>, FileSystemError> components(
        std::string_view relativePath);

    // The absolute path on disk for `relativePath`; "" and "/" give the folder.
    [[nodiscard]] std::expected<std::string, FileSystemError> resolve(std::string_view relativePath) const;

    // The cloud folder's canonical path.
    [[nodiscard]] std::expected<std::string, FileSystemError> canonicalFolder() const;

    const std::string& cloudFolder() const { return m_cloudFolder; }

private:
    std::string m_cloudFolder;
};

}  // namespace Platform
