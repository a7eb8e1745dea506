#include "Sync/Status/FileSyncStatusStore.hpp"

#include "Platform/Foundation/Unicode.hpp"

namespace Sync {

std::string realmIdentifierPath(const Platform::URL& url)
{
    auto path = url.standardized().path();
    // A folder's URL may end with "/"; its row is the same as without.
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return Platform::precomposed(path);
}

} // namespace Sync
