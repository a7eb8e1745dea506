#pragma once

// Sync/References: the binding of local items to their remote file ids
// through an extended attribute, and the mapping that reads it back.

#include "Platform/FileSystem/ExtendedAttributes.hpp"
#include "Platform/FileSystem/OwnChangeRegistry.hpp"
#include "Sync/References/BindingMemo.hpp"
#include "Sync/References/FileReferenceMapping.hpp"
#include "Sync/Store/FileStore.hpp"

#include <memory>

namespace Sync {

// The file reference mapping of the engine: the binding is the extended
// attribute named `extendedAttributeName()` on the item (see
// QVExtendedAttributeValueForKey), and the bound file is the stored file of
// that remote id in `fileStore`. Every item path goes through the
// Platform::PathResolver below the given cloud folder: a path that could
// leave it binds nothing and finds nothing. Attribute writes and removals
// are registered with `ownChanges` when given. A file system without user
// attributes binds nothing and finds nothing, without failing.
//
// Holds its collaborators and what the latest scan read; the bindings live
// on the items. Calls may come from any thread, as far as the file store
// allows.
class ExtendedAttributeFileReferenceMapping final : public FileReferenceMapping {
public:
    explicit ExtendedAttributeFileReferenceMapping(std::shared_ptr<FileStore> fileStore,
        std::shared_ptr<const Platform::ExtendedAttributes> attributes = Platform::ExtendedAttributes::system(),
        std::shared_ptr<Platform::OwnChangeRegistry> ownChanges = nullptr,
        BindingMemo::Options memoOptions = {});

    [[nodiscard]] const std::shared_ptr<FileStore>& fileStore() const { return m_fileStore; }

    // Nothing when the item has no binding, its binding was removed as
    // foreign, or the stored state has no file of the bound id (the binding
    // then stays).
    [[nodiscard]] FileRef file(std::string_view path, const Platform::URL& cloudFolder) override;
    void addReference(const File& file, const Platform::URL& cloudFolder) override;
    // Writes the attribute `addReference` writes at `file.path()` on the item
    // at `diskPath` (no path resolution: the disk store's own path); its
    // bookmark is the item's, which a rename keeps.
    bool bind(const File& file, const std::string& diskPath) const override;
    // The next scan takes the binding without reading it back.
    void placed(const File& file, const std::string& diskPath) const override;
    void removeReference(std::string_view path, const Platform::URL& cloudFolder) override;
    // Reads the attribute at `diskPath` alone: no path resolution, no store
    // lookup; with a stamp, only when the item changed since the scan before
    // (BindingMemo).
    [[nodiscard]] std::optional<std::int64_t> boundRemoteID(std::string_view path, const std::string& diskPath,
        const Platform::URL& cloudFolder, const Platform::ChangeStamp* stamp) override;
    void beginScan() override { m_memo.beginScan(); }
    // Reads on a few threads what the memo does not hold (everything after a
    // start): an attribute read costs about as much as the scan's own look
    // at the item.
    void readAhead(std::span<const FileRef> files, std::span<const Platform::ChangeStamp> stamps,
        const std::string& root, const Platform::URL& cloudFolder) override;

private:
    std::shared_ptr<FileStore> m_fileStore;
    std::shared_ptr<const Platform::ExtendedAttributes> m_attributes;
    std::shared_ptr<Platform::OwnChangeRegistry> m_ownChanges;
    // Learnt from const `placed` too: it is what the item reads as, not state of the mapping's own.
    mutable BindingMemo m_memo;
};

} // namespace Sync
