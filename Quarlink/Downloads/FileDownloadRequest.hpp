#pragma once

// Quarlink/Downloads: remote file contents brought to the local disk.

#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Files/File.hpp"
#include "Quarlink/Requests/RequestTraits.hpp"

#include <cstdint>
#include <optional>
#include <string>

namespace Quarlink {

// The content of one remote file: GET "files/<id>/download" with
// "Accept-Encoding: deflate", as a download task whose progress events reach
// the caller and whose file is placed at <folder>/<id>/<name> (replacing a file
// there only once the new one is complete), or left where the transport put it
// when no folder is given. A name that is no single path component ("a/b.txt",
// "..") is refused before anything is sent when a folder is given: it would
// place the file somewhere below or beside the file's own folder.
struct FileDownloadRequest {
    using SuccessValue = ProgressEvent<Platform::URL>;
    static constexpr RequestTraits traits { .taskKind = TaskKind::download, .needsAuthentication = true,
        .overrides = { RequestMember::customHeaders, RequestMember::expectedSize } };

    std::int64_t fileID { 0 };
    std::string fileName;
    std::optional<std::int64_t> numberOfBytes;
    std::optional<Platform::URL> targetDownloadFolderURL;

    [[nodiscard]] static FileDownloadRequest make(const File& file, std::optional<Platform::URL> folder = std::nullopt)
    {
        return { file.fileID(), file.fileName(), file.numberOfBytes(), std::move(folder) };
    }

    [[nodiscard]] std::string path() const { return "files/" + std::to_string(fileID) + "/download"; }
    [[nodiscard]] HTTPHeaderFields customHeaders() const { return { { "Accept-Encoding", "deflate" } }; }
    [[nodiscard]] std::optional<std::int64_t> expectedSize() const { return numberOfBytes; }
    // <folder>/<fileID>/<fileName>, as `File::downloadDestinationURL` makes it.
    [[nodiscard]] std::optional<Platform::URL> destinationURL() const;
    // Always true.
    [[nodiscard]] bool shouldOverwrite() const { return true; }
    // Whether the file can be placed under its name: no folder, or a name that is one path component.
    [[nodiscard]] bool isValid() const;
    // "FileDownloadRequest(<name>)".
    [[nodiscard]] std::string debugDescription() const { return "FileDownloadRequest(" + fileName + ")"; }
};

} // namespace Quarlink
