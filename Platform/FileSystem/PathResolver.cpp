#include "Platform/FileSystem/PathResolver.hpp"

#include "Platform/FileSystem/DirectoryEnumerator.hpp"
#include "Platform/Foundation/Unicode.hpp"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <sys/stat.h>

namespace Platform {

namespace {

bool isAcceptable(std::string_view component)
{
    return !component.empty() && component != "." && component != ".." &&
           component.find('\0') == std::string_view::npos && isValidUTF8(component);
}

// The canonical path last found for each cloud folder, with the directory it
// named. Every path of every change is resolved from the folder, and realpath
// reads each of its components again; this answers from one lstat of the
// canonical path and one stat of the folder as given, as long as both still
// reach the same directory and the canonical path's last component is not a
// link. Anything else (moved, swapped, removed) walks the path again.
struct KnownFolder {
    std::string canonical;
    dev_t device = 0;
    ino_t inode = 0;
};

std::mutex knownFoldersMutex;
std::unordered_map<std::string, KnownFolder>& knownFolders()
{
    static auto* folders = new std::unordered_map<std::string, KnownFolder>;  // Never destroyed: used to the end.
    return *folders;
}

bool sameDirectory(struct stat const& status, KnownFolder const& known)
{
    return S_ISDIR(status.st_mode) && status.st_dev == known.device && status.st_ino == known.inode;
}

std::optional<std::string> stillCanonical(std::string const& folder)
{
    std::optional<KnownFolder> known;
    {
        std::lock_guard const lock(knownFoldersMutex);
        if (auto found = knownFolders().find(folder); found != knownFolders().end()) {
            known = found->second;
        }
    }
    if (!known) {
        return std::nullopt;
    }
    struct stat canonical {};
    if (::lstat(known->canonical.c_str(), &canonical) != 0 || !sameDirectory(canonical, *known)) {
        return std::nullopt;
    }
    if (folder != known->canonical) {
        struct stat given {};
        if (::stat(folder.c_str(), &given) != 0 || !sameDirectory(given, *known)) {
            return std::nullopt;
        }
    }
    return std::move(known->canonical);
}

void remember(std::string const& folder, std::string const& canonical)
{
    struct stat status {};
    if (::lstat(canonical.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        return;
    }
    std::lock_guard const lock(knownFoldersMutex);
    auto& folders = knownFolders();
    if (folders.size() >= 64) {  // Folders come and go in tests; a handful in a real process.
        folders.clear();
    }
    folders.insert_or_assign(folder, KnownFolder{canonical, status.st_dev, status.st_ino});
}

}  // namespace

PathResolver::PathResolver(std::string cloudFolder) : m_cloudFolder(std::move(cloudFolder)) {}

std::expected<std::vector<std::string>, FileSystemError> PathResolver::components(std::string_view relativePath)
{
    std::string_view rest = relativePath;
    if (!rest.empty() && rest.front() == '/') {
        rest.remove_prefix(1);
    }
    if (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    std::vector<std::string> result;
    if (rest.empty()) {
        return result;
    }
    while (true) {
        auto const slash = rest.find('/');
        std::string_view const component = rest.substr(0, slash);
        if (!isAcceptable(component)) {
            return std::unexpected(FileSystemError::make(FileSystemErrorCode::invalidPath, std::string(relativePath)));
        }
        result.emplace_back(component);
        if (slash == std::string_view::npos) {
            return result;
        }
        rest.remove_prefix(slash + 1);
    }
}

std::expected<std::string, FileSystemError> PathResolver::canonicalFolder() const
{
    std::unique_ptr<char, decltype(&std::free)> canonical(::realpath(m_cloudFolder.c_str(), nullptr), &std::free);
    if (!canonical) {
        return std::unexpected(FileSystemError::fromErrno(errno, m_cloudFolder));
    }
    return std::string(canonical.get());
}

std::expected<std::string, FileSystemError> PathResolver::resolve(std::string_view relativePath) const
{
    auto parts = components(relativePath);
    if (!parts) {
        return std::unexpected(parts.error());
    }
    auto folder = stillCanonical(m_cloudFolder);
    if (!folder) {
        auto walked = canonicalFolder();
        if (!walked) {
            return std::unexpected(walked.error());
        }
        remember(m_cloudFolder, *walked);
        folder = std::move(*walked);
    }
    std::string path = *folder == "/" ? "" : std::move(*folder);
    bool exploring = true;
    for (std::size_t index = 0; index < parts->size(); ++index) {
        std::string const& given = (*parts)[index];
        std::string name = precomposed(given);
        if (exploring) {
            exploring = false;
            std::string const nfd = decomposed(given);
            for (std::string const* candidate : std::array<std::string const*, 3>{&given, &name, &nfd}) {
                // Most names read the same in every form: one look at the disk answers for all of them.
                if ((candidate != &given && *candidate == given) || (candidate == &nfd && nfd == name)) {
                    continue;
                }
                struct stat status {};
                if (::lstat((path + "/" + *candidate).c_str(), &status) != 0) {
                    continue;
                }
                if (S_ISLNK(status.st_mode) && index + 1 < parts->size()) {
                    return std::unexpected(FileSystemError::make(FileSystemErrorCode::symbolicLink, path + "/" + *candidate));
                }
                name = *candidate;
                exploring = true;
                break;
            }
        }
        path += "/";
        path += name;
    }
    return path.empty() ? "/" : path;
}

}  // namespace Platform
