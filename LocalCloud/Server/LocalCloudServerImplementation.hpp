#pragma once

// Internal to LocalCloud: the state behind `LocalCloudServer`.

#include "LocalCloud/Accounts/Accounts.hpp"
#include "LocalCloud/Http/GuardedServer.hpp"
#include "LocalCloud/Server/LocalCloudServer.hpp"
#include "LocalCloud/Shares/ShareStore.hpp"
#include "LocalCloud/Storage/ServiceError.hpp"
#include "LocalCloud/Tree/FileTree.hpp"

#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <regex>
#include <thread>

namespace LocalCloud {

// Either the request's body already read, or a reader that streams it.
struct RequestBody {
    const httplib::ContentReader* reader = nullptr;
    // Told the whole body whenever `readAll` read it.
    std::function<void(const std::string&)> onRead {};
    // Reads the whole body into memory (for routes that take small bodies);
    // empty when it is larger than `limit`, so that no client makes the
    // service hold more than that. A body that says it is larger is not read at all.
    [[nodiscard]] std::string readAll(const httplib::Request& request, std::size_t limit = maximumBytes) const;
    // The first `limit` bytes of the body; the rest is read and dropped.
    [[nodiscard]] std::string readPrefix(const httplib::Request& request, std::size_t limit) const;
    // The most a route of an account reads into memory ...
    static constexpr std::size_t maximumBytes = 16 << 20;
    // ... and one that anyone may call (the login), or that a library reads
    // whole before any route sees it (a body sent with GET, HEAD, DELETE or OPTIONS).
    static constexpr std::size_t maximumOpenBytes = 64 << 10;
    // Reads and drops whatever of the body is still unread, so that the connection stays usable.
    void discard(const httplib::Request& request) const;
};

// JSON answers carry a parameter, so the HTTP library never gzips them on its own.
inline constexpr const char* jsonContentType = "application/json; charset=utf-8";

struct LocalCloudServer::Implementation {
    using Handler = std::function<void(const httplib::Request&, httplib::Response&, const RequestBody&,
        const std::smatch&)>;
    struct Route {
        std::string method;
        std::regex pattern;
        Handler handler;
    };
    struct Script {
        std::string method;
        std::string path;
        ScriptedResponse response;
        std::size_t remaining;
    };
    struct AnswerDelay {
        std::string method;
        std::regex path;
        std::chrono::milliseconds delay;
    };
    struct GateEntry {
        std::string method;
        std::string path;
        std::shared_ptr<Gate> gate;
    };

    explicit Implementation(Options given)
        : options(std::move(given))
        , accounts(options.clock)
    {
    }

    Options options;
    int port = 0;
    GuardedServer server;
    std::thread listener;
    // Set when the listener thread's loop has returned.
    std::atomic<bool> listenerEnded { false };
    std::vector<Route> routes;
    std::atomic<bool> stopping { false };

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<RecordedRequest> log;
    // Where `Options::requestLogFile` goes (null without one); written under `mutex`.
    std::unique_ptr<std::FILE, decltype(&std::fclose)> logFile { nullptr, &std::fclose };
    std::size_t inFlight = 0;
    std::size_t peakInFlight = 0;
    std::vector<Script> scripts;
    std::vector<GateEntry> gates;
    std::vector<AnswerDelay> answerDelays;
    TransferShaping shaping;
    Accounts accounts;
    std::unique_ptr<FileTree> tree;
    std::unique_ptr<ShareStore> shares;
    std::optional<std::string> fixedDate;

    void installRoutes();
    // True when it answered 403 to a request that changes data under a "Host"
    // other than the service's loopback address and port.
    [[nodiscard]] bool refuseForeignHost(const httplib::Request& request, httplib::Response& response,
        const RequestBody& body);
    void dispatch(const httplib::Request& request, httplib::Response& response, const RequestBody& body);
    [[nodiscard]] std::optional<ScriptedResponse> takeScript(const std::string& method, const std::string& path);
    [[nodiscard]] std::shared_ptr<Gate> gateFor(const std::string& method, const std::string& path) const;
    // Waits out an answer delay of the request (ended early when the service stops).
    void delayAnswer(const std::string& method, const std::string& path);
    void record(const httplib::Request& request);
    // True when it answered 413 to a request whose body the library would read
    // whole into memory before any route sees it, and that is larger than a route may take.
    [[nodiscard]] static bool refuseBufferedBody(const httplib::Request& request, httplib::Response& response);
    void finished();

    // Routes.
    void serveStatus(httplib::Response& response);
    void serveRawDownload(std::int64_t identifier, httplib::Response& response);
    void serveRawUpload(std::int64_t identifier, const httplib::Request& request, httplib::Response& response,
        const RequestBody& body);
    // Sends the bytes of `descriptor` (which it takes over) as shaped; deflated when asked.
    void serveContent(int descriptor, std::size_t size, bool deflate, httplib::Response& response,
        const std::string& contentType = "application/octet-stream");
    // Streams the request body into `temporaryFile`, hashing it on the way; at most `limit` bytes.
    [[nodiscard]] std::expected<ReceivedContent, ServiceError> receiveContent(const std::filesystem::path& temporaryFile,
        const httplib::Request& request, const RequestBody& body, std::int64_t limit);
    void serveRedirectLoop(const httplib::Request& request, httplib::Response& response);

    // Login, sessions, login links and the error log.
    void installAccountRoutes();
    // True when the request carries a live session; otherwise answers 401 with code 3001.
    [[nodiscard]] bool requireSession(const httplib::Request& request, httplib::Response& response);
    // `client`: the address the attempt came from.
    void serveLogin(const std::string& body, const std::string& client, httplib::Response& response);
    void serveLoginHash(const httplib::Request& request, httplib::Response& response);
    void serveErrorLog(bool publicRoute, const httplib::Request& request, std::string body, httplib::Response& response);
    void installEchoRoutes();

    // The files of the session's account.
    void installFileRoutes();
    // The login of the request's live session; otherwise answers 401 with code 3001.
    [[nodiscard]] std::optional<std::string> sessionAccount(const httplib::Request& request,
        httplib::Response& response);
    [[nodiscard]] std::string quotaJSON(const std::string& account);
    // The same with the account's quota as the route already read it (one lookup per request).
    [[nodiscard]] std::string quotaJSON(const std::string& account, std::int64_t totalBytes);
    void respondForAccount(httplib::Response& response, const std::string& account, const std::string& dataJSON);
    void respondForAccount(httplib::Response& response, const std::string& account, std::int64_t totalBytes,
        const std::string& dataJSON);
    // Adds a route of the session's account (401 with 3001 without one).
    void addAccountRoute(const char* method, const char* pattern,
        std::function<void(const std::string&, const httplib::Request&, httplib::Response&, const RequestBody&,
            const std::smatch&)>
            serve);

    // Shares, public links and share permissions.
    void installShareRoutes();
    [[nodiscard]] std::string shareJSON(const ShareRecord& share, const std::string& viewer);
    [[nodiscard]] std::string ownerJSON(const std::string& login);
    // Customer data, profile pictures, thumbnails and the flush route.
    void installCustomerRoutes();
    [[nodiscard]] std::string origin() const;
};

// The service's answers.
// {"data": …} with "meta" beside it when given.
void respondWithEnvelope(httplib::Response& response, const std::string& dataJSON,
    const std::optional<std::string>& metaJSON = std::nullopt);
// Both error headers and the JSON body {"code", "message"}.
void respondWithError(httplib::Response& response, int status, int errorCode, const std::string& message);
void respondWithServiceError(httplib::Response& response, const ServiceError& error);
// The HTTP date form, "Sun, 06 Nov 1994 08:49:37 GMT", whatever the locale.
[[nodiscard]] std::string httpDate(std::chrono::system_clock::time_point time);

// The headers that make a public link's content a download, never a page.
void servePublicContentAsDownload(httplib::Response& response, const std::string& fileName);

// File records as the service's JSON.
void appendFileJSON(std::string& out, const FileView& file);
[[nodiscard]] std::string fileJSON(const FileView& file);
[[nodiscard]] std::string filesJSON(const std::vector<FileView>& files);

} // namespace LocalCloud
