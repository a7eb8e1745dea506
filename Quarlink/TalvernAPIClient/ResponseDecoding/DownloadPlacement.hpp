#pragma once

#include "Platform/FileSystem/FileSystemError.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Quarlink/HTTP/TransferResponses.hpp"
#include "Quarlink/Transfer/ProgressEvent.hpp"
#include "Reactive/AnyError.hpp"

#include <expected>
#include <optional>
#include <string>

namespace Quarlink {

// Whether `name` can name one file inside a folder: not empty, not "." or "..",
// no "/" and no NUL in it.
[[nodiscard]] bool isSafeFileName(std::string_view name);

// Moves a finished download into place and returns where it now lies.
//
// Without a destination the delivered temporary file is the result, where it
// lies (it is the caller's already). With one, the destination's folder is created
// when missing (a failure there shows at the move), and the file is renamed
// onto the destination as `Platform::placeFile` does: when `shouldOverwrite` an
// existing file is replaced in one step, otherwise an existing item fails the
// move (`alreadyExists`); across file systems through a hidden sibling. The
// previous file at the destination survives every failure, and a directory
// there is never removed (the move fails).
//
// Fails with `APIClientError::invalidDownload` when there is no temporary file
// or the destination is no file URL whose last component is a safe file name
// (nothing is moved then), and with `Platform::FileSystemError` when the move fails.
// A failure leaves the temporary file where it was: it stays its holder's to
// remove (the request pipeline removes it, see `discardDownload`).
// Runs on the calling thread; two placements onto one destination are not
// coordinated beyond the atomicity of each rename.
[[nodiscard]] std::expected<Platform::URL, Reactive::AnyError> placeDownload(const DownloadResponse& response,
    const std::optional<Platform::URL>& destination, bool shouldOverwrite);

// The same for one event of a download stream: `progress` and `waiting` pass
// unchanged and touch no file; `downloaded` carries the placed file.
[[nodiscard]] std::expected<ProgressEvent<Platform::URL>, Reactive::AnyError> placeDownload(
    const ProgressEvent<DownloadResponse>& event, const std::optional<Platform::URL>& destination, bool shouldOverwrite);

// Removes the delivered temporary file of a finished download that will reach
// nobody (its validation or placement failed, or its stream ended); nothing
// when it carries no file or the file is gone. Any thread.
void discardDownload(const DownloadResponse& response);
void discardDownload(const ProgressEvent<DownloadResponse>& event);

} // namespace Quarlink
