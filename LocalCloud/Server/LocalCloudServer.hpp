#pragma once

// LocalCloud: a loopback HTTP service speaking the cloud's REST API under
// "/v2.0" over a data folder on disk, with controls that let tests shape what
// the client sees (scripted answers, gates, slow and cut-off transfers).

#include "LocalCloud/Accounts/Accounts.hpp"
#include "LocalCloud/Http/ConnectionLimits.hpp"
#include "LocalCloud/Http/Gate.hpp"
#include "LocalCloud/Shares/ShareStore.hpp"
#include "LocalCloud/Storage/ServiceClock.hpp"
#include "LocalCloud/Tree/FileTree.hpp"

#include <chrono>
#include <cstdint>
#include <expected>
#include <functional>
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
    // The body of a JSON request, once a route has read it; empty otherwise.
    std::string body {};

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
//   the file routes              the session account's tree (see FileRoutes.cpp): listings
//                                ("files" with "fileId" or "depth" -1, documents, photos, photos/ids,
//                                music, recents, delta, search, getter, "shares/files"), "files/<id>"
//                                (GET, PUT to rename), "files/folders", "files/init",
//                                "files/<id>/stream", "files/<id>/download" (deflated from 64 KiB
//                                when accepted), "files/deleter", "files/mover"; each needs a session
//                                and answers with the account's quota in "meta"
//   the share routes             "shares" (POST a public link or private shares, GET the account's),
//                                "shares/<id>" (PATCH lifetime, DELETE), "shares/files/<id>" (GET,
//                                DELETE with "type"), "files/<id>/shareinfos", "files/<id>/permissions",
//                                "shares/owner/<cid>" (bare owner), "shares/pending", "shares/accept",
//                                "shares/refuse"; "customer" (bare customer data), "files/<id>/thumbnail"
//                                (PNG of "x" by "y", or an image's own bytes), "profile/picture" (PUT,
//                                GET, DELETE); each needs a session
//   GET  /public/<token>         outside "/v2.0", no session: the content behind a live public link
//   GET  /debug/flush-cloud      outside "/v2.0", with a session: checkpoints the database
//   the debug routes below exist only with `Options::testControls`:
//   GET  debug/raw/<n>           the bytes of <data>/raw/<n>, with Content-Length, shaped; no session
//   PUT  debug/raw/<n>           stores the body as <data>/raw/<n>; envelope with id and size
//   GET  debug/redirect-loop     redirects to itself, forever
//   any  debug/echo[/...]        envelope describing the request as received:
//                                {"method", "target" (path and raw query), "headers"
//                                 (name -> value), "body" (text)}
//   POST login                   {"world","login","password"}; sets the "session" cookie and answers
//                                {"cid": …}; 403 with 40326 (wrong password or unknown user),
//                                40330 (temporarily locked, or too many failed logins of the account
//                                or the client of late), 40322 (permanently locked); 400 with 1000
//                                for an unreadable body or an unknown world
//   POST logout                  ends the cookie's session; 200 {}, or 401 with 3001 without one
//   GET  hash/create             needs a session (else 401 with 3001); {"urls": {"login": <link>}}
//   POST log/error, log/error/public
//                                keeps the body (see `Accounts::errorReports`); 200 {} or, when
//                                failing, 500 without error headers
// Requests other than GET, HEAD and OPTIONS are refused (403) unless their
// "Host" names the service's own loopback address and port, so that a web page
// cannot reach it through a name of its own. A public link answers as a
// download that a browser does not render.
// Failures carry the service's "X-Error-Code" and "X-Error-Message" headers and
// the body {"code", "message"}; a route the service does not know answers 404
// with a code of its own. Every answer carries a "Date" header.
//
// Threading: every member may be called from any thread while the server runs.
// Each connection is served on a thread of its own, so that many requests may
// be held by gates at once; `Options::connections` bounds them.
class LocalCloudServer {
public:
    struct Options {
        // Folder the service keeps its data in; created when missing.
        std::filesystem::path dataFolder {};
        // Address to listen on; loopback only unless a caller insists.
        std::string host = "127.0.0.1";
        // Port to listen on; 0 picks a free one.
        int port = 0;
        // Connections served at once, and how long a slow client may hold one.
        ConnectionLimits connections {};
        // Test control: the debug routes ("debug/raw", "debug/echo",
        // "debug/redirect-loop") and the in-memory request log exist only with
        // it, so that a service left running offers none of them.
        bool testControls = false;
        // Sessions end after this long without use, and (a test control) after so many requests.
        SessionPolicy sessions {};
        LoginLimits loginLimits {};
        // Every reading of the time the service makes: items' times, deletions,
        // the ends of public links, "Date", session ages and login delays. The
        // program passes the system's; tests pass one they move on.
        ServiceClock clock = ServiceClock::system();
        // When set, one line "<method> <path>" per received request is appended
        // to this file and flushed at once, so that a process watching the
        // service from outside sees every request even when the service is killed.
        std::filesystem::path requestLogFile {};
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
    // Where "debug/raw/<n>" keeps its bytes.
    [[nodiscard]] std::filesystem::path contentPath(std::int64_t identifier) const;
    // Where the content of the stored file <id> lives.
    [[nodiscard]] std::filesystem::path storedContentPath(std::int64_t identifier) const;

    // Test controls; the request log stays empty without `Options::testControls`.
    [[nodiscard]] std::vector<RecordedRequest> requestLog() const;
    [[nodiscard]] std::size_t requestCount() const;
    // Requests received and not yet answered completely.
    [[nodiscard]] std::size_t inFlight() const;
    // Highest `inFlight()` seen so far.
    [[nodiscard]] std::size_t peakInFlight() const;
    [[nodiscard]] bool waitForRequestCount(std::size_t count, std::chrono::milliseconds timeout) const;
    [[nodiscard]] bool waitForInFlight(std::size_t count, std::chrono::milliseconds timeout) const;
    // Waits until exactly `count` connections are being served (refused ones not counted).
    [[nodiscard]] bool waitForConnections(std::size_t count, std::chrono::milliseconds timeout) const;
    // Answers the next `times` requests of `method` on `path` with `response`.
    void script(std::string method, std::string path, ScriptedResponse response, std::size_t times = SIZE_MAX);
    // Holds requests of `method` on `path` until the gate lets them go.
    [[nodiscard]] std::shared_ptr<Gate> addGate(std::string method, std::string path);
    // Answers requests of `method` on a path matching `pathPattern` only `delay`
    // after their body was read in full, as a service does that checks and
    // stores a large upload before it answers.
    void delayAnswers(std::string method, std::string pathPattern, std::chrono::milliseconds delay);
    void setTransferShaping(TransferShaping shaping);
    // Users, sessions, login links and received error reports.
    [[nodiscard]] Accounts& accounts() const;
    // Every account's files.
    [[nodiscard]] FileTree& files() const;
    // Every account's shares.
    [[nodiscard]] ShareStore& shares() const;
    // Makes folders (paths ending with "/") and files below the account's root, in one transaction.
    [[nodiscard]] std::expected<void, std::string> seedTree(const std::string& login,
        const std::vector<SeedEntry>& entries);
    // The identifier of the account's root folder (made on first use).
    [[nodiscard]] std::int64_t rootIdentifier(const std::string& login);
    // Every answer's "Date" header from now on; nullopt goes back to the clock.
    void setFixedDate(std::optional<std::chrono::system_clock::time_point> date);

    struct Implementation;

private:
    explicit LocalCloudServer(std::unique_ptr<Implementation> implementation);
    std::unique_ptr<Implementation> m_implementation;
};

} // namespace LocalCloud
