#pragma once

#include "Platform/FileSystem/ChangeStamp.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Sync/Disk/PlacementBinder.hpp"
#include "Sync/Model/File.hpp"

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <memory>
#include <ranges>
#include <span>
#include <string_view>

namespace Sync {

// Binds local items to the stored files they mirror, so that an item keeps
// its remote identity when it is renamed or moved. Implementations run
// synchronously on the caller's thread. As the disk store's PlacementBinder
// it writes the binding of a download or a folder the engine makes while the
// item is put in place (`bind`, then `placed`), as `addReference` would
// write it at the item's path.
class FileReferenceMapping : public PlacementBinder {
public:
    virtual ~FileReferenceMapping() = default;

    // The stored file the item at `path` (relative to the cloud folder at
    // `cloudFolder`) is bound to; null when it is bound to none.
    [[nodiscard]] virtual FileRef file(std::string_view path, const Platform::URL& cloudFolder) = 0;

    // Binds the item at `file.path()` to the remote id of `file`. Nothing for
    // a file with a local id; a binding that cannot be written is skipped.
    virtual void addReference(const File& file, const Platform::URL& cloudFolder) = 0;

    // The remote id the item at `path` is bound to, whether or not the stored
    // state knows it; `diskPath` is where the item lies, already resolved
    // below the cloud folder (as a scan found it). Nothing when unbound.
    // `stamp`, when given, is the item's change stamp as the scan found it:
    // a mapping may answer from what it read at the scan before when the
    // item has not changed since.
    [[nodiscard]] virtual std::optional<std::int64_t> boundRemoteID(std::string_view path,
        const std::string& diskPath, const Platform::URL& cloudFolder, const Platform::ChangeStamp* stamp)
    {
        static_cast<void>(diskPath);
        static_cast<void>(stamp);
        auto bound = file(path, cloudFolder);
        return bound ? bound->syncFileID().remoteID() : std::nullopt;
    }

    // A scan begins to ask `boundRemoteID` for its items.
    virtual void beginScan() { }
    // The scan is about to ask `boundRemoteID` for `files` (its items) with
    // their `stamps` (as many), which lie below `root` on disk: a mapping
    // may read their bindings ahead, together, so that the questions one by
    // one are answered from memory.
    virtual void readAhead(std::span<const FileRef> files, std::span<const Platform::ChangeStamp> stamps,
        const std::string& root, const Platform::URL& cloudFolder)
    {
        static_cast<void>(files);
        static_cast<void>(stamps);
        static_cast<void>(root);
        static_cast<void>(cloudFolder);
    }

    // Unbinds the item at `path`; nothing when it is bound to none.
    virtual void removeReference(std::string_view path, const Platform::URL& cloudFolder)
    {
        static_cast<void>(path);
        static_cast<void>(cloudFolder);
    }

    // `addReference` for each file, in order. Elements are files or pointers
    // to files (FileRef); null pointers are skipped.
    template<std::ranges::input_range Files>
    void addReferences(Files&& files, const Platform::URL& cloudFolder)
    {
        for (auto&& element : files) {
            if constexpr (std::derived_from<std::remove_cvref_t<decltype(element)>, File>) {
                addReference(element, cloudFolder);
            } else if (element) {
                addReference(*element, cloudFolder);
            }
        }
    }
};

} // namespace Sync
