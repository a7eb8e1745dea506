#include "Quarlink/TalvernAPIClient/ResponseDecoding/DownloadPlacement.hpp"

#include "Platform/FileSystem/FileOperations.hpp"
#include "Quarlink/Errors/APIClientError.hpp"

#include <filesystem>

namespace Quarlink {

namespace {

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

    std::filesystem::path to = destination->path();
    std::error_code ignored;
    std::filesystem::create_directories(to.parent_path(), ignored);

    auto placed = Platform::placeFile(response.tempURL->path(), to.string(),
        shouldOverwrite ? Platform::ReplaceExisting::Yes : Platform::ReplaceExisting::No);
    if (!placed)
        return std::unexpected(Reactive::AnyError(placed.error()));
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
