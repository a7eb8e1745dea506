#pragma once

// How the client ends its streams when a transfer completes. Used by
// `URLSessionAPIClient` only; kept apart so the client reads as its streams.

#include "Platform/Network/URLSession.hpp"
#include "Quarlink/Client/Progress.hpp"
#include "Quarlink/Client/WorkQueue.hpp"
#include "Quarlink/HTTP/TransferResponses.hpp"
#include "Quarlink/Transfer/ProgressEvent.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <expected>
#include <functional>
#include <memory>
#include <string>

namespace Quarlink {

// Runs `work` on the queue, or at once when the queue is already gone (the
// client is being torn down), so that every operation still finishes.
void runOn(const std::weak_ptr<WorkQueue>& queue, std::function<void()> work);

// The end of a data or upload stream.
struct TransferCompletion {
    // When the operation leaves the queue relative to the value: a data
    // stream's operation leaves first, so the queue moves on while the
    // subscriber works on the value.
    enum class Finish { beforeValue, afterValue };

    Reactive::Observer<DataResponse, Reactive::AnyError> observer;
    Reactive::Lifetime lifetime;
    // Ends the transfer's operation; called on every path.
    std::function<void()> finish;
    std::string requestURL;

    // Sends nothing once the stream's lifetime ended; a transport error fails
    // the stream as `transportError` wraps it.
    void completeData(const std::expected<Platform::DataTaskResponse, Platform::URLError>& result, Finish order) const;
    // Fails with the cancellation error (unless the stream already ended) and finishes.
    void failCancelled() const;
};

// The end of a download stream. `complete` runs on the transport thread,
// where the temporary file still exists: it keeps the file under another name
// in the same folder until the `downloaded` event was delivered on the
// delegate queue, then removes it. A download that failed after its response
// head arrived ends with `downloaded` without a file (the request's
// validation turns that into `invalidDownload`, or the service's error);
// cancellation always fails with the cancellation error.
struct DownloadCompletion {
    Reactive::Observer<ProgressEvent<DownloadResponse>, Reactive::AnyError> observer;
    std::function<void()> finish;
    std::string requestURL;

    void complete(Platform::URLSessionTask& task, std::expected<Platform::DownloadTaskResponse, Platform::URLError> result,
        const std::weak_ptr<WorkQueue>& queue) const;
};

// Cancels the task when the progress is cancelled.
[[nodiscard]] Reactive::AnyDisposable observeCancellation(const std::shared_ptr<Progress>& progress,
    const std::shared_ptr<Platform::URLSessionTask>& task);

// Sends `progress` events for the progress's fraction, starting with its
// value now, strictly growing and below 1.0; the first value of 1.0 or more
// ends the forwarding.
[[nodiscard]] Reactive::AnyDisposable forwardFraction(const std::shared_ptr<Progress>& progress,
    Reactive::Observer<ProgressEvent<DownloadResponse>, Reactive::AnyError> observer);

} // namespace Quarlink
