#include "Sync/Disk/DiskOperationError.hpp"

namespace Sync {

std::string DiskOperationError::description() const
{
    std::string text;
    switch (operation) {
    case DiskOperation::createFolder:
        text = "directory couldn't be created: ";
        break;
    case DiskOperation::deleteItem:
        text = "file couldn't be removed: ";
        break;
    case DiskOperation::move:
        text = "couldn't move file locally: ";
        break;
    case DiskOperation::update:
        text = "modification date couldn't be set: ";
        break;
    case DiskOperation::placeDownload:
        text = "file couldn't be placed: ";
        break;
    }
    text += location;
    text += " (";
    text += cause.description();
    text += ")";
    return text;
}

} // namespace Sync
