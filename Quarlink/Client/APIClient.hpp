#pragma once

// Quarlink/Client: the one connection of the library to the service: the
// URL-session client, the queue its transfers wait in, and their operations.

#include "Platform/Foundation/URL.hpp"
#include "Platform/Network/URLRequest.hpp"
#include "Platform/Network/URLSessionTask.hpp"
#include "Quarlink/Client/Operations/Operation.hpp"
#include "Quarlink/Environment/APIEndpoint.hpp"
#include "Quarlink/Environment/ClientStates.hpp"
#include "Quarlink/HTTP/TransferResponses.hpp"
#include "Quarlink/Identity/Credentials.hpp"
#include "Quarlink/Transfer/ProgressEvent.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <any>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Quarlink {

// The interface through which every request of the library reaches the
// service. `URLSessionAPIClient` is its only implementation; everything else
// takes a client as an argument and never makes one.
//
// Every stream is lazy (nothing happens until it is started; each start
// sends the request anew), delivers one value and completes, or fails with
// one `AnyError`. HTTP statuses are not judged here: validation belongs to
// the request. Streams hold the client weakly: one started after the client
// is gone ends as interrupted.
class APIClient {
public:
    virtual ~APIClient() = default;

    [[nodiscard]] virtual std::shared_ptr<CredentialStore> credentialStore() const = 0;
    // The endpoint in force at each call.
    [[nodiscard]] virtual std::shared_ptr<const APIEndpoint> endpoint() const = 0;

    // The response body in memory and the response head.
    [[nodiscard]] virtual Reactive::SignalProducer<DataResponse, Reactive::AnyError> dataProducer(
        Platform::URLRequest request, QueuePriority priority) = 0;
    // The body streamed from the local file `file` (a file URL). Progress is
    // reported only through the progress current on the calling thread when the
    // stream is made (see `Progress`).
    [[nodiscard]] virtual Reactive::SignalProducer<DataResponse, Reactive::AnyError> uploadProducer(
        Platform::URLRequest request, Platform::URL file, QueuePriority priority) = 0;
    // The finished download only. Its temporary file exists only while the
    // value is delivered: move it before returning.
    [[nodiscard]] virtual Reactive::SignalProducer<DownloadResponse, Reactive::AnyError> downloadProducer(
        Platform::URLRequest request, QueuePriority priority) = 0;
    // `progress` events with a growing fraction below 1.0 (the first is sent
    // at start), then one `downloaded` event, as `downloadProducer` delivers it.
    [[nodiscard]] virtual Reactive::SignalProducer<ProgressEvent<DownloadResponse>, Reactive::AnyError>
    downloadProgressProducer(Platform::URLRequest request, QueuePriority priority,
        std::optional<std::int64_t> expectedSize) = 0;

    // The session's unfinished upload tasks: the current list, then every change.
    [[nodiscard]] virtual Reactive::SignalProducer<std::vector<std::shared_ptr<Platform::URLSessionTask>>, Reactive::NoError>
    uploadTasks() const = 0;

    // Per-client settings other parts keep under fixed keys ("worldID",
    // "refresher", "requestFilter"); the client itself reads none of them.
    // Safe to read and write from any thread.
    [[nodiscard]] virtual std::map<std::string, std::any> userInfos() const = 0;
    [[nodiscard]] virtual std::any userInfo(const std::string& key) const = 0;
    virtual void setUserInfo(const std::string& key, std::any value) = 0;

    // The service host's reachability: the current value, then every assessment.
    [[nodiscard]] virtual Reactive::SignalProducer<ReachabilityStatus, Reactive::NoError> reachabilityStatus() const = 0;
    // `notConnected` while the host is not reachable, else `busy` while the
    // request queue holds an operation, else `idle`; a value for every change
    // of either (equal values may repeat).
    [[nodiscard]] virtual Reactive::SignalProducer<APIClientStatus, Reactive::NoError> status() const = 0;

    // Cancels every transfer, clears the cookies and continues on a new session.
    virtual void cancelRequestsAndResetSession() = 0;

    // Another name for `endpoint()`.
    [[nodiscard]] std::shared_ptr<const APIEndpoint> environment() const { return endpoint(); }
};

} // namespace Quarlink
