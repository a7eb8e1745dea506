#pragma once

// Internal to LocalCloud: the state behind `LocalCloudServer`.

#include "LocalCloud/Accounts.hpp"
#include "LocalCloud/LocalCloudServer.hpp"

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <regex>
#include <thread>

namespace LocalCloud {

// Either the request's body already read, or a reader that streams it.
struct RequestBody {
    const httplib::ContentReader* reader = nullptr;
    // Reads the whole body into memory (for routes that take small bodies).
    [[nodiscard]] std::string readAll(const httplib::Request& request) const;
};

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
    struct GateEntry {
        std::string method;
        std::string path;
        std::shared_ptr<Gate> gate;
    };

    Options options;
    int port = 0;
    httplib::Server server;
    std::thread listener;
    // Set when the listener thread's loop has returned.
    std::atomic<bool> listenerEnded { false };
    std::vector<Route> routes;
    std::atomic<bool> stopping { false };

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<RecordedRequest> log;
    std::size_t inFlight = 0;
    std::size_t peakInFlight = 0;
    std::vector<Script> scripts;
    std::vector<GateEntry> gates;
    TransferShaping shaping;
    Accounts accounts;

    void installRoutes();
    void dispatch(const httplib::Request& request, httplib::Response& response, const RequestBody& body);
    [[nodiscard]] std::optional<ScriptedResponse> takeScript(const std::string& method, const std::string& path);
    [[nodiscard]] std::shared_ptr<Gate> gateFor(const std::string& method, const std::string& path) const;
    void record(const httplib::Request& request);
    void finished();

    // Routes.
    void serveStatus(httplib::Response& response);
    void serveDownload(std::int64_t identifier, httplib::Response& response);
    void serveUpload(std::int64_t identifier, const httplib::Request& request, httplib::Response& response,
        const RequestBody& body);
    void serveRedirectLoop(const httplib::Request& request, httplib::Response& response);

    // Login, sessions, login links and the error log.
    void installAccountRoutes();
    // True when the request carries a live session; otherwise answers 401 with code 3001.
    [[nodiscard]] bool requireSession(const httplib::Request& request, httplib::Response& response);
    void serveLogin(const std::string& body, httplib::Response& response);
    void serveLoginHash(const httplib::Request& request, httplib::Response& response);
    void serveErrorLog(bool publicRoute, const httplib::Request& request, std::string body, httplib::Response& response);
    void installEchoRoutes();
};

// The service's answers.
void respondWithEnvelope(httplib::Response& response, const std::string& dataJSON);
void respondWithError(httplib::Response& response, int status, int errorCode, const std::string& message);

} // namespace LocalCloud
