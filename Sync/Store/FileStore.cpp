#include "Sync/Store/FileStore.hpp"

namespace Sync {

namespace {

// A record with `raise` applied to a fresh copy: the record read inside the
// transaction is the store's, and the flags are the stored item's own.
void raiseFlag(FileRef& record, void (FileWrapperItem::*raise)(bool))
{
    if (!record)
        return;
    auto item = std::make_shared<FileWrapperItem>(*record);
    (item.get()->*raise)(true);
    record = std::move(item);
}

} // namespace

StoreResult<> FileStore::storePublicShare(const SyncFileID& id, PublicShare link)
{
    return modifyOrCreate(id, [&link](FileRef& record, PublicShare& publicShare, PrivateShares&) {
        publicShare = std::move(link);
        raiseFlag(record, &FileWrapperItem::setHasPublicShare);
    });
}

StoreResult<> FileStore::storePrivateShares(const SyncFileID& id, PrivateShares shares)
{
    return modifyOrCreate(id, [&shares](FileRef& record, PublicShare&, PrivateShares& privateShares) {
        const bool any = !shares.empty();
        privateShares = std::move(shares);
        if (any)
            raiseFlag(record, &FileWrapperItem::setHasPrivateShares);
    });
}

} // namespace Sync
