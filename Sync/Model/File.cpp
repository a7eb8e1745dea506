#include "Sync/Model/File.hpp"

#include "Platform/Foundation/PathString.hpp"
#include "Platform/Foundation/Unicode.hpp"

#include <cxxabi.h>
#include <cstdlib>
#include <typeinfo>

namespace Sync {

const std::shared_ptr<const PublicShareInfo>& File::publicShareInfo() const
{
    static const std::shared_ptr<const PublicShareInfo> none;
    return none;
}

std::string File::description() const
{
    const char* mangled = typeid(*this).name();
    int status = 0;
    char* demangled = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
    std::string name = status == 0 && demangled ? demangled : mangled;
    std::free(demangled);
    // Module-qualified as "Sync.FileWrapperItem": every "::" becomes ".".
    std::string qualified;
    qualified.reserve(name.size());
    for (std::size_t index = 0; index < name.size(); ++index) {
        if (name[index] == ':' && index + 1 < name.size() && name[index + 1] == ':') {
            qualified.push_back('.');
            ++index;
        } else {
            qualified.push_back(name[index]);
        }
    }
    return qualified;
}

std::string parentPath(const File& file)
{
    return Platform::deletingLastPathComponent(file.path());
}

std::optional<Platform::URL> fileURL(const File& file, const Platform::URL& base)
{
    const std::string& path = file.path();
    if (path.find('\0') != std::string::npos)
        return std::nullopt;
    std::string_view rest = path;
    if (rest.starts_with('/'))
        rest.remove_prefix(1);
    bool directory = false;
    if (rest.ends_with('/')) {
        rest.remove_suffix(1);
        directory = true;
    }
    if (rest.empty())
        return directory || path.empty() || path == "/" ? std::optional(base) : std::nullopt;

    // Every component must name an entry of its own folder: nothing that
    // climbs, stays or leaves a gap, so the result cannot leave the base.
    std::size_t start = 0;
    while (start <= rest.size()) {
        auto slash = rest.find('/', start);
        auto end = slash == std::string_view::npos ? rest.size() : slash;
        auto component = rest.substr(start, end - start);
        if (component.empty() || component == "." || component == "..")
            return std::nullopt;
        if (slash == std::string_view::npos)
            break;
        start = slash + 1;
    }
    return base.appendingPathComponent(rest, directory ? Platform::URL::IsDirectory::Yes : Platform::URL::IsDirectory::No)
        .standardized();
}

bool operator==(const File& left, const File& right)
{
    if (&left == &right)
        return true;
    return left.syncFileID() == right.syncFileID()
        && left.syncParentID() == right.syncParentID()
        && Platform::canonicallyEqual(left.path(), right.path())
        && Platform::canonicallyEqual(left.fileName(), right.fileName())
        && left.lastModifiedDate() == right.lastModifiedDate()
        && left.type() == right.type()
        && [&] {
               const auto& leftEtag = left.syncEtag();
               const auto& rightEtag = right.syncEtag();
               if (!leftEtag || !rightEtag)
                   return !leftEtag && !rightEtag;
               return Platform::canonicallyEqual(*leftEtag, *rightEtag);
           }()
        && left.hasPublicShare() == right.hasPublicShare()
        && left.hasPrivateShares() == right.hasPrivateShares()
        && Platform::canonicallyEqual(left.fileHash(), right.fileHash());
}

bool differs(const File* left, const File& right)
{
    return !left || !(*left == right);
}

bool sameFiles(const std::vector<FileRef>& left, const std::vector<FileRef>& right)
{
    if (left.size() != right.size())
        return false;
    for (std::size_t index = 0; index < left.size(); ++index)
        if (!(*left[index] == *right[index]))
            return false;
    return true;
}

} // namespace Sync

