#include "Quarlink/TalvernAPIClient/ResponseDecoding/DownloadPlacement.hpp"

#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/Foundation/UUID.hpp"
#include "Quarlink/Errors/APIClientError.hpp"

#include <filesystem>

namespace Quarlink {

namespace {

using Placement = std::expected<void, Platform::FileSystemError>;

// Either replaces a file atomically or refuses an existing item.
Placement moveIntoPlace(const std::string& from, const std::string& to, bool replace)
{
    return replace ? Platform::replaceItem(from, to) : Platform::moveItem(from, to);
}

// Copies across file systems into a hidden sibling, then moves the sibling
// into place, so the destination never holds half a file.
Placement copyThenMove(const std::filesystem::path& from, const std::filesystem::path& to, bool replace)
{
    auto sibling = to.parent_path() / ("." + to.filename().string() + "." + Platform::UUID().uuidString());
    std::error_code copyError;
    std::filesystem::copy_file(from, sibling, std::filesystem::copy_options::none, copyError);
    Placement placed = copyError ? Placement(std::unexpect, Platform::FileSystemError::fromErrno(copyError.value(), sibling.string()))
                                 : moveIntoPlace(sibling.string(), to.string(), replace);
    std::error_code ignored;
    if (!placed) {
        std::filesystem::remove(sibling, ignored);
        return placed;
    }
    std::filesystem::remove(from, ignored);
    return {};
}

bool isSafeDestination(const Platform::URL& destination)
{
    if (!destination.isFileURL() || destination.hasDirectoryPath())
        return false;
    auto path = destination.path();
    if (path.find('\0') != std::string::npos)
        return false;
    // No segment may climb out of the folder the caller chose.
    std::string_view rest = path;
    while (!rest.empty()) {
        auto slash = rest.find('/');
        auto segment = rest.substr(0, slash);
        if (segment == "..")
            return false;
        if (slash == std::string_view::npos)
            break;
        rest.remove_prefix(slash + 1);
    }
    return isSafeFileName(destination.lastPathComponent());
}

} // namespace

std::string FileSystemError::description() const
{
    return "FileSystemError: " + m_error.description();
}

bool isSafeFileName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos
        && name.find('\0') == std::string_view::npos;
}

std::expected<Platform::URL, Reactive::AnyError> placeDownload(const DownloadResponse& response,
    const std::optional<Platform::URL>& destination, bool shouldOverwrite)
{
    if (!response.tempURL)
        return std::unexpected(Reactive::AnyError(APIClientError::invalidDownload()));
    // The delivered file is already the caller's: it stays where it is.
    if (!destination)
        return *response.tempURL;
    if (!isSafeDestination(*destination))
        return std::unexpected(Reactive::AnyError(APIClientError::invalidDownload()));

    std::filesystem::path from = response.tempURL->path();
    std::filesystem::path to = destination->path();
    std::error_code ignored;
    std::filesystem::create_directories(to.parent_path(), ignored);

    auto placed = moveIntoPlace(from.string(), to.string(), shouldOverwrite);
    if (!placed && placed.error().code == Platform::FileSystemErrorCode::crossDevice)
        placed = copyThenMove(from, to, shouldOverwrite);
    if (!placed)
        return std::unexpected(Reactive::AnyError(FileSystemError(placed.error())));
    return *destination;
}

std::expected<ProgressEvent<Platform::URL>, Reactive::AnyError> placeDownload(
    const ProgressEvent<DownloadResponse>& event, const std::optional<Platform::URL>& destination, bool shouldOverwrite)
{
    return event.tryMap([&](const DownloadResponse& response) { return placeDownload(response, destination, shouldOverwrite); });
}

void discardDownload(const DownloadResponse& response)
{
    if (!response.tempURL)
        return;
    std::error_code ignored;
    std::filesystem::remove(response.tempURL->path(), ignored);
}

void discardDownload(const ProgressEvent<DownloadResponse>& event)
{
    if (auto response = event.downloadedValue())
        discardDownload(*response);
}

} // namespace Quarlink
