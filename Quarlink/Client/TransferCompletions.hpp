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

// The end of a data or upload stream. `finish` runs on the transport thread
// as soon as the transfer is over, so that the request's place in the queue
// goes to the next one while the outcome crosses to the delegate queue and
// the subscriber works on it; `completeData` then sends the outcome there.
struct TransferCompletion {
    Reactive::Observer<DataResponse, Reactive::AnyError> observer;
    Reactive::Lifetime lifetime;
    // Ends the transfer's operation; called on every path.
    std::function<void()> finish;
    std::string requestURL;

    // Sends nothing once the stream's lifetime ended; a transport error fails
    // the stream as `transportError` wraps it.
    void completeData(std::expected<Platform::DataTaskResponse, Platform::TransportError>&& result) const;
    // Fails with the cancellation error (unless the stream already ended) and finishes.
    void failCancelled() const;
};

// The end of a download stream. `complete` runs on the transport thread,
// where the session's temporary file still exists, and finishes the
// transfer's operation there, before anything is delivered. A download that succeeded
// with a status below 400 keeps the file under another name in the same folder
// and delivers it with the `downloaded` event on the delegate queue: from then
// on the file belongs to the receiver, who moves or removes it (the transport
// never touches it again; the event may reach the receiver later, on another
// thread). A status of 400 or more delivers `downloaded` without a file (the
// file is removed), and so does a download that failed after its response head
// arrived (the request's validation turns that into the service's error or
// `invalidDownload`); a stream whose lifetime ended before the delivery gets
// nothing and its file is removed; cancellation always fails with the
// cancellation error.
struct DownloadCompletion {
    Reactive::Observer<ProgressEvent<DownloadResponse>, Reactive::AnyError> observer;
    Reactive::Lifetime lifetime;
    std::function<void()> finish;
    std::string requestURL;

    void complete(Platform::URLSessionTask& task, std::expected<Platform::DownloadTaskResponse, Platform::TransportError> result,
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
