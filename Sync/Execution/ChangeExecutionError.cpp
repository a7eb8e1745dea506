#include "Sync/Execution/ChangeExecutionError.hpp"

namespace Sync {

std::string ChangeExecutionError::description() const
{
    std::string text;
    switch (code) {
    case Code::unsafePath:
        text = "Server path refused: " + path;
        break;
    case Code::localEditConflict:
        text = "Local edit kept, server change not applied: " + path;
        break;
    case Code::nameTwin:
        text = "Another item has the same name in another Unicode form, not synced: " + path;
        break;
    case Code::missingParent:
        text = "Server item without its parent folder, not downloaded: " + path;
        break;
    case Code::notARegularFile:
        text = "Not a regular file, not uploaded: " + path;
        break;
    case Code::duplicateID:
        text = "Server item listed a second time at another path, not synced: " + path;
        break;
    case Code::misplacedPath:
        text = "Server item whose path does not match its folder and name, not downloaded: " + path;
        break;
    case Code::unreadableFolder:
        text = "Folder cannot be read, its items are kept: " + path;
        break;
    case Code::cloudFolderUnreadable:
        text = "Der Cloud-Ordner „" + path + "“ kann nicht gelesen werden. Bitte prüfen Sie die Zugriffsrechte; "
               "bis dahin wird nicht synchronisiert.";
        break;
    }
    if (!detail.empty()) {
        text += " (" + detail + ")";
    }
    return text;
}

} // namespace Sync
