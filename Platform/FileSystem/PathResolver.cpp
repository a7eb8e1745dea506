#include "Platform/FileSystem/PathResolver.hpp"

#include "Platform/FileSystem/DirectoryEnumerator.hpp"
#include "Platform/Foundation/Unicode.hpp"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>

namespace Platform {

namespace {

bool isAcceptable(std::string_view component)
{
    return !component.empty() && component != "." && component != ".." &&
           component.find('\0') == std::string_view::npos && isValidUTF8(component);
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
    auto folder = canonicalFolder();
    if (!folder) {
        return std::unexpected(folder.error());
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
