#pragma once

// Platform/Network: HTTP transfers (data, upload from a file, download to a
// temporary file) over libcurl on one transport thread per session, with an
// in-memory cookie jar, plus reachability of a host.

#include "Platform/Network/HTTPCookie.hpp"
#include "Platform/Network/HTTPResponseHead.hpp"
#include "Platform/Network/TransportError.hpp"
#include "Platform/Network/URLRequest.hpp"
#include "Platform/Network/URLSessionConfiguration.hpp"
#include "Platform/Network/URLSessionDelegate.hpp"
#include "Platform/Network/URLSessionTask.hpp"

#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Platform {

// What a data or upload task delivers: the whole response body and the final response.
struct DataTaskResponse {
    std::string data;
    HTTPResponseHead response;
};

// What a download task delivers: the temporary file holding the whole body and
// the final response. The file is removed as soon as the completion returns,
// so the completion must move or copy it before returning.
struct DownloadTaskResponse {
    std::filesystem::path location;
    HTTPResponseHead response;
};

// A set of transfers sharing one configuration, one cookie jar and one
// transport thread that runs every transfer through the libcurl multi interface.
//
// Tasks are made suspended by the factories and start with `resume()`. Any
// HTTP status is a success at this level; only transport failures are errors.
// A download that fails (even after its headers arrived) never hands over a
// file: its partial temporary file is removed before the completion runs.
//
// Threading: every member may be called from any thread, including from a
// completion or progress handler on the transport thread. Completions,
// progress handlers and delegate calls run on the transport thread, one at a
// time, with no lock held.
//
// Lifetime: destroying the session cancels its remaining tasks (their
// completions run with `cancelled` before the destructor returns, on the
// transport thread) and ends the transport thread.
class URLSession {
public:
    using DataCompletion = std::function<void(URLSessionTask&, std::expected<DataTaskResponse, TransportError>)>;
    using DownloadCompletion = std::function<void(URLSessionTask&, std::expected<DownloadTaskResponse, TransportError>)>;

    // Starts the transport thread. `delegate` (optional) hears about every task.
    // Null only when libcurl cannot be initialised.
    [[nodiscard]] static std::shared_ptr<URLSession> create(URLSessionConfiguration configuration,
        std::shared_ptr<URLSessionDelegate> delegate = nullptr);
    ~URLSession();
    URLSession(const URLSession&) = delete;
    URLSession& operator=(const URLSession&) = delete;

    [[nodiscard]] const URLSessionConfiguration& configuration() const;

    // A task sending `request` (its body from memory) and collecting the response body in memory.
    [[nodiscard]] std::shared_ptr<URLSessionTask> dataTask(URLRequest request, DataCompletion completion);
    // A task streaming the file at `file` as the request body (its `body` is ignored).
    // A missing or unreadable file fails the task with `fileDoesNotExist` or `cannotOpenFile`.
    [[nodiscard]] std::shared_ptr<URLSessionTask> uploadTask(URLRequest request, std::filesystem::path file,
        DataCompletion completion);
    // A task streaming the response body into a new temporary file.
    [[nodiscard]] std::shared_ptr<URLSessionTask> downloadTask(URLRequest request, DownloadCompletion completion);

    // Tasks made and not yet completed, in identifier order.
    [[nodiscard]] std::vector<std::shared_ptr<URLSessionTask>> allTasks() const;

    // Cancels every task not yet completed; tasks made afterwards complete with
    // `cancelled` as soon as they are resumed. The cookie jar is kept.
    void invalidateAndCancel();
    [[nodiscard]] bool isInvalidated() const;

    // The session's cookie jar. Both wait for the transport thread (or run at
    // once when called on it).
    [[nodiscard]] std::vector<HTTPCookie> cookies() const;
    void clearCookies();

private:
    explicit URLSession(std::shared_ptr<URLSessionCore> core);
    std::shared_ptr<URLSessionCore> m_core;
};

} // namespace Platform
