#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Quarlink/HTTP/TransferResponses.hpp"
#include "Quarlink/Transfer/ProgressEvent.hpp"
#include "Reactive/AnyError.hpp"

#include <expected>
#include <optional>
#include <string>
#include <system_error>

namespace Quarlink {

// A file-system call that failed while placing a download: the call's error
// code and the path it was about. Not presentable on its own; it reaches the
// user through the generic texts of `AnyError`.
class FileSystemError final : public Reactive::Error {
public:
    FileSystemError(std::error_code code, std::string path)
        : m_code(code)
        , m_path(std::move(path))
    {
    }

    [[nodiscard]] std::error_code code() const { return m_code; }
    [[nodiscard]] const std::string& path() const { return m_path; }
    [[nodiscard]] std::string description() const override;

private:
    std::error_code m_code;
    std::string m_path;
};

// Whether `name` can name one file inside a folder: not empty, not "." or "..",
// no "/" and no NUL in it.
[[nodiscard]] bool isSafeFileName(std::string_view name);

// Moves a finished download into place and returns where it now lies.
//
// Without a destination the temporary file is handed over: it is renamed
// beside itself (the transport removes its temporary file once the delivery
// returns) and the caller owns the renamed file from then on. With one, the destination's folder is created
// when missing (a failure there shows at the move), and the file is renamed
// onto the destination atomically: when `shouldOverwrite` an existing file is
// replaced in one step, otherwise an existing item fails the move with
// `EEXIST`. Across file systems the file is copied to a hidden sibling of the
// destination first and that sibling renamed the same way. The previous file
// at the destination survives every failure, and a directory there is never
// removed (the move fails).
//
// Fails with `APIClientError::invalidDownload` when there is no temporary file
// or the destination is no file URL whose last component is a safe file name
// (nothing is moved then), and with `FileSystemError` when the move fails.
// Runs on the calling thread; two placements onto one destination are not
// coordinated beyond the atomicity of each rename.
[[nodiscard]] std::expected<Platform::URL, Reactive::AnyError> placeDownload(const DownloadResponse& response,
    const std::optional<Platform::URL>& destination, bool shouldOverwrite);

// The same for one event of a download stream: `progress` and `waiting` pass
// unchanged and touch no file; `downloaded` carries the placed file.
[[nodiscard]] std::expected<ProgressEvent<Platform::URL>, Reactive::AnyError> placeDownload(
    const ProgressEvent<DownloadResponse>& event, const std::optional<Platform::URL>& destination, bool shouldOverwrite);

} // namespace Quarlink
