#include "Quarlink/TalvernAPIClient/ResponseDecoding/DownloadPlacement.hpp"

#include "Platform/Foundation/UUID.hpp"
#include "Quarlink/Errors/APIClientError.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace Quarlink {

namespace {

std::error_code lastError()
{
    return std::error_code(errno, std::generic_category());
}

// rename(2) that either replaces atomically or refuses an existing item.
std::error_code renameInPlace(const std::string& from, const std::string& to, bool replace)
{
    int result = replace ? ::rename(from.c_str(), to.c_str())
                         : ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    return result == 0 ? std::error_code() : lastError();
}

// Copies across file systems into a hidden sibling, then renames the sibling
// into place, so the destination never holds half a file.
std::error_code copyThenRename(const std::filesystem::path& from, const std::filesystem::path& to, bool replace)
{
    auto sibling = to.parent_path() / ("." + to.filename().string() + "." + Platform::UUID().uuidString());
    std::error_code error;
    std::filesystem::copy_file(from, sibling, std::filesystem::copy_options::none, error);
    if (!error)
        error = renameInPlace(sibling.string(), to.string(), replace);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(sibling, ignored);
        return error;
    }
    std::error_code ignored;
    std::filesystem::remove(from, ignored);
    return {};
}

// The transport removes its temporary file once the delivery returns; a
// download without a destination keeps it by renaming it beside itself, so the
// caller owns what it is handed.
std::expected<Platform::URL, Reactive::AnyError> claimTemporaryFile(const Platform::URL& temporary)
{
    auto from = temporary.path();
    auto to = from + "." + Platform::UUID().uuidString();
    if (auto error = renameInPlace(from, to, false))
        return std::unexpected(Reactive::AnyError(FileSystemError(error, from)));
    return Platform::URL::fileURL(to);
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
    return "FileSystemError: " + m_code.message() + " (" + m_path + ")";
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
    if (!destination)
        return claimTemporaryFile(*response.tempURL);
    if (!isSafeDestination(*destination))
        return std::unexpected(Reactive::AnyError(APIClientError::invalidDownload()));

    std::filesystem::path from = response.tempURL->path();
    std::filesystem::path to = destination->path();
    std::error_code ignored;
    std::filesystem::create_directories(to.parent_path(), ignored);

    auto error = renameInPlace(from.string(), to.string(), shouldOverwrite);
    if (error == std::errc::cross_device_link)
        error = copyThenRename(from, to, shouldOverwrite);
    if (error)
        return std::unexpected(Reactive::AnyError(FileSystemError(error, to.string())));
    return *destination;
}

std::expected<ProgressEvent<Platform::URL>, Reactive::AnyError> placeDownload(
    const ProgressEvent<DownloadResponse>& event, const std::optional<Platform::URL>& destination, bool shouldOverwrite)
{
    return event.tryMap([&](const DownloadResponse& response) { return placeDownload(response, destination, shouldOverwrite); });
}

} // namespace Quarlink
