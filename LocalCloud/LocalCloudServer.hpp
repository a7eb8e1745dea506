#pragma once

// LocalCloud: a loopback HTTP service speaking the cloud's REST API under
// "/v2.0" over a data folder on disk, with controls that let tests shape what
// the client sees (scripted answers, gates, slow and cut-off transfers).

#include "LocalCloud/Accounts.hpp"
#include "LocalCloud/Gate.hpp"

#include <chrono>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace LocalCloud {

// One request as the server received it.
struct RecordedRequest {
    std::string method;
    // Path without the query, e.g. "/v2.0/files/7/download".
    std::string path;
    // Query parameters, decoded.
    std::multimap<std::string, std::string> query;
    // Header fields as received (names as sent).
    std::vector<std::pair<std::string, std::string>> headers;

    // The first field of that name, compared without regard to case.
    [[nodiscard]] std::optional<std::string> header(const std::string& name) const;
};

// A canned answer that replaces whatever the route would have answered.
struct ScriptedResponse {
    int status = 200;
    std::vector<std::pair<std::string, std::string>> headers {};
    std::string body {};
    std::string contentType = "application/json";
};

// How the file download route sends its bytes.
struct TransferShaping {
    // Bytes per second; 0 sends as fast as the connection takes them.
    std::size_t bytesPerSecond = 0;
    // Closes the connection after this many body bytes (the announced
    // Content-Length stays the full size); absent sends everything.
    std::optional<std::size_t> cutAfterBytes {};
    // Size of each write.
    std::size_t chunkSize = 64 * 1024;
};

// The service, running in the process that owns it on 127.0.0.1.
//
// Routes (all under "/v2.0"):
//   GET  status                  envelope {"data": {"service": "localcloud"}}
//   GET  files/<id>/download     the bytes of <data>/content/<id>, with Content-Length, shaped
//   PUT  files/<id>/stream       stores the body as <data>/content/<id>; envelope with id and size
//   GET  debug/redirect-loop     redirects to itself, forever
//   POST login                   {"world","login","password"}; sets the "session" cookie and answers
//                                {"cid": …}; 403 with 40326 (wrong password or unknown user),
//                                40330 (temporarily locked), 40322 (permanently locked); 400 with 1000
//                                for an unreadable body or an unknown world
//   GET  hash/create             needs a session (else 401 with 3001); {"urls": {"login": <link>}}
//   POST log/error, log/error/public
//                                keeps the body (see `Accounts::errorReports`); 200 {} or, when
//                                failing, 500 without error headers
//   any  debug/echo[/...]        envelope describing the request as received:
//                                {"method", "target" (path and raw query), "headers"
//                                 (name -> value), "body" (text)}
// Failures carry the service's "X-Error-Code" and "X-Error-Message" headers.
//
// Threading: every member may be called from any thread while the server runs.
// Requests are served on a pool of `Options::threadCount` threads, so that
// many requests may be held by gates at once.
class LocalCloudServer {
public:
    struct Options {
        // Folder the service keeps its data in; created when missing.
        std::filesystem::path dataFolder {};
        // Address to listen on; loopback only unless a caller insists.
        std::string host = "127.0.0.1";
        // Port to listen on; 0 picks a free one.
        int port = 0;
        // Requests served at the same time.
        std::size_t threadCount = 16;
    };

    [[nodiscard]] static std::expected<std::unique_ptr<LocalCloudServer>, std::string> start(Options options);
    // Opens every gate, then stops listening and waits for the serving threads.
    ~LocalCloudServer();
    LocalCloudServer(const LocalCloudServer&) = delete;
    LocalCloudServer& operator=(const LocalCloudServer&) = delete;

    [[nodiscard]] int port() const;
    // "http://127.0.0.1:<port>"
    [[nodiscard]] std::string origin() const;
    // "http://127.0.0.1:<port>/v2.0"
    [[nodiscard]] std::string baseURL() const;
    [[nodiscard]] const std::filesystem::path& dataFolder() const;
    // Where the content of file <id> lives.
    [[nodiscard]] std::filesystem::path contentPath(std::int64_t identifier) const;

    // Test controls.
    [[nodiscard]] std::vector<RecordedRequest> requestLog() const;
    [[nodiscard]] std::size_t requestCount() const;
    // Requests received and not yet answered completely.
    [[nodiscard]] std::size_t inFlight() const;
    // Highest `inFlight()` seen so far.
    [[nodiscard]] std::size_t peakInFlight() const;
    [[nodiscard]] bool waitForRequestCount(std::size_t count, std::chrono::milliseconds timeout) const;
    [[nodiscard]] bool waitForInFlight(std::size_t count, std::chrono::milliseconds timeout) const;
    // Answers the next `times` requests of `method` on `path` with `response`.
    void script(std::string method, std::string path, ScriptedResponse response, std::size_t times = SIZE_MAX);
    // Holds requests of `method` on `path` until the gate lets them go.
    [[nodiscard]] std::shared_ptr<Gate> addGate(std::string method, std::string path);
    void setTransferShaping(TransferShaping shaping);
    // Users, sessions, login links and received error reports.
    [[nodiscard]] Accounts& accounts() const;

    struct Implementation;

private:
    explicit LocalCloudServer(std::unique_ptr<Implementation> implementation);
    std::unique_ptr<Implementation> m_implementation;
};

} // namespace LocalCloud
