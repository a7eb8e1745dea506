#pragma once

#include "Quarlink/HTTP/TransferResponses.hpp"
#include "Quarlink/Transfer/ProgressEvent.hpp"
#include "Reactive/AnyError.hpp"

#include <expected>

namespace Quarlink {

// The response validation every service request takes by default: a response
// with a status of 400 or more fails with its `RemoteError`, and a download
// without a file with `APIClientError::invalidDownload`. Each returns the
// response unchanged when it passes. Pure functions; any thread.

// A data response: the `RemoteError` of its status, headers and body.
[[nodiscard]] std::expected<DataResponse, Reactive::AnyError> validate(const DataResponse& response);
// The same, taking the response along only when it passes (a failed one is
// left as it was): a body of megabytes is moved, never copied.
[[nodiscard]] std::expected<DataResponse, Reactive::AnyError> validate(DataResponse&& response);

// A finished download: the `RemoteError` of its status and headers (with an
// empty body) takes precedence; otherwise a missing file is `invalidDownload`.
[[nodiscard]] std::expected<DownloadResponse, Reactive::AnyError> validate(const DownloadResponse& response);
[[nodiscard]] std::expected<DownloadResponse, Reactive::AnyError> validate(DownloadResponse&& response);

// A download event: only `downloaded` is validated, as a finished download;
// `progress` and `waiting` pass.
[[nodiscard]] std::expected<ProgressEvent<DownloadResponse>, Reactive::AnyError> validate(const ProgressEvent<DownloadResponse>& event);

} // namespace Quarlink
