#include "Sync/Changes/ChangeFactories.hpp"

namespace Sync {

Change remoteCreate(FileRef file)
{
    if (!file->syncFileID().isLocal() || !file->syncParentID().isRemote())
        return Change::invalid();
    return Change::remote(FileOperation::create(std::move(file)));
}

Change remoteDelete(FileRef file)
{
    if (!file->syncFileID().isRemote())
        return Change::invalid();
    return Change::remote(FileOperation::deletion(std::move(file)));
}

Change remoteMove(FileRef from, FileRef to)
{
    if (!to->syncFileID().isRemote() || !to->syncParentID().isRemote())
        return Change::invalid();
    return Change::remote(FileOperation::move(std::move(from), std::move(to)));
}

Change remoteUpdate(FileRef file)
{
    if (!file->syncFileID().isRemote() || !file->syncParentID().isRemote())
        return Change::invalid();
    return Change::remote(FileOperation::update(std::move(file)));
}

Change localCreate(FileRef file)
{
    if (!file->syncFileID().isRemote())
        return Change::invalid();
    return Change::local(FileOperation::create(std::move(file)));
}

Change localDelete(FileRef file)
{
    return Change::local(FileOperation::deletion(std::move(file)));
}

Change localMove(FileRef from, FileRef to)
{
    return Change::local(FileOperation::move(std::move(from), std::move(to)));
}

Change localUpdate(FileRef file)
{
    if (!file->syncFileID().isRemote() || isFolder(*file))
        return Change::invalid();
    return Change::local(FileOperation::update(std::move(file)));
}

Change localUpdateMetaData(FileRef file)
{
    if (!file->syncFileID().isRemote())
        return Change::invalid();
    return Change::local(FileOperation::metaData(std::move(file)));
}

} // namespace Sync
