// The context menu of FinderSync and the share requests it sends.

#include "Glimmerd/FinderSync/FinderSync.hpp"

#include <charconv>
#include <cstdint>

#include <sys/stat.h>

namespace Glimmerd {

namespace {

constexpr const char* menuImage = "MenueBarIcon";

// The remote identifier an entry was made for; none for an entry made for an
// item the service does not know yet.
std::string representedRemoteID(const Sync::FileRef& file)
{
    auto remoteID = file ? file->syncFileID().remoteID() : std::nullopt;
    return remoteID ? std::to_string(*remoteID) : std::string();
}

std::optional<Sync::SyncFileID> representedFileID(const FinderSyncKit::MenuItem& item)
{
    const auto& text = item.representedObject;
    std::int64_t remoteID = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), remoteID);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return Sync::SyncFileID::remote(remoteID);
}

} // namespace

std::optional<Platform::URL> FinderSync::selectedItemURL() const
{
    const auto& selected = m_environment.syncController->selectedItemURLs();
    if (selected.size() != 1)
        return std::nullopt;
    return selected.front();
}

bool FinderSync::selectedItemIsFolder() const
{
    auto url = selectedItemURL();
    if (!url)
        return false;
    struct stat status { };
    return stat(url->standardized().path().c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

Sync::FileRef FinderSync::fileForURL(const Platform::URL& url, bool isFolder) const
{
    auto root = currentCloudFolderURL();
    if (!root)
        return nullptr;
    auto path = Sync::realmIdentifierPath(url);
    auto rootPath = Sync::realmIdentifierPath(*root);
    // Inside means below the folder: a sibling that merely starts with the
    // folder's name is outside, and the folder itself has no record.
    auto prefix = rootPath.ends_with('/') ? rootPath : rootPath + '/';
    if (path.size() <= prefix.size() || !path.starts_with(prefix))
        return nullptr;
    auto relative = "/" + path.substr(prefix.size());
    if (isFolder)
        relative += '/';
    return m_environment.fileStore->fileAtPath(relative);
}

std::optional<Sync::SyncFileID> FinderSync::selectedFileID(const Platform::URL& url) const
{
    auto file = fileForURL(url, selectedItemIsFolder());
    if (!file)
        return std::nullopt;
    return file->syncFileID();
}

std::optional<FinderSyncKit::Menu> FinderSync::menu(FinderSyncKit::MenuKind)
{
    auto url = selectedItemURL();
    if (!url)
        return std::nullopt;
    return makeContextMenu(*url);
}

FinderSyncKit::Menu FinderSync::makeContextMenu(const Platform::URL& url) const
{
    FinderSyncKit::Menu menu { m_environment.clientName, {} };
    auto isFolder = selectedItemIsFolder();
    auto file = fileForURL(url, isFolder);
    // Each entry carries the record it was made for: choosing it sends that
    // record's id without looking the selection up again.
    menu.addItem({ file && file->hasPublicShare() ? "Link teilen" : "Link teilen \u2026", sharePublicLinkAction, "",
        menuImage, file != nullptr, representedRemoteID(file) });
    if (isFolder)
        menu.addItem({ "Ordner freigeben \u2026", shareFolderAction, "", menuImage, file != nullptr, representedRemoteID(file) });
    return menu;
}

void FinderSync::performAction(const FinderSyncKit::MenuItem& item)
{
    ShareRequest request = nullptr;
    if (item.action == sharePublicLinkAction)
        request = &ExtensionChannel::createPublicShareForFile;
    else if (item.action == shareFolderAction)
        request = &ExtensionChannel::createPrivateShareForFile;
    if (!request)
        return;
    if (auto id = representedFileID(item))
        (m_environment.channel.get()->*request)(*id);
    else
        sendShareRequest(request);
}

void FinderSync::sharePublicLink()
{
    sendShareRequest(&ExtensionChannel::createPublicShareForFile);
}

void FinderSync::shareFolder()
{
    sendShareRequest(&ExtensionChannel::createPrivateShareForFile);
}

void FinderSync::sendShareRequest(ShareRequest request)
{
    auto url = selectedItemURL();
    if (!url)
        return;
    auto id = selectedFileID(*url);
    // An item the service does not know yet cannot be shared.
    if (id && id->remoteID())
        (m_environment.channel.get()->*request)(*id);
}

} // namespace Glimmerd
