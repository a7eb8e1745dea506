#include "LocalCloud/Server/LocalCloudServer.hpp"

#include "LocalCloud/Server/LocalCloudServerImplementation.hpp"
#include "LocalCloud/Server/RequestParsing.hpp"
#include "LocalCloud/Storage/DataFolder.hpp"

#include <nlohmann/json.hpp>

#include <strings.h>

namespace LocalCloud {

namespace {

// The log entry of the request the calling thread serves: the pre-routing
// handler and the route run on the same thread.
thread_local std::size_t currentLogIndex = 0;

constexpr time_t readWriteTimeoutSeconds = 5;

// A login body as the request log keeps it: the password shown as "...", as
// the client's own failure reports show it; nothing when it is no JSON object.
std::string withoutPassword(const std::string& text)
{
    auto parsed = parsedObject(text);
    if (!parsed)
        return {};
    auto& json = *parsed;
    if (json.contains("password"))
        json["password"] = "...";
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

std::optional<std::string> RecordedRequest::header(const std::string& name) const
{
    for (const auto& [fieldName, value] : headers) {
        if (::strcasecmp(fieldName.c_str(), name.c_str()) == 0)
            return value;
    }
    return std::nullopt;
}

std::expected<std::unique_ptr<LocalCloudServer>, std::string> LocalCloudServer::start(Options options)
{
    if (auto made = makeDataFolderPrivate(options.dataFolder); !made)
        return std::unexpected(made.error());
    std::error_code error;
    std::filesystem::create_directories(options.dataFolder / "content", error);
    for (const char* folder : { "raw", "profile" }) {
        if (!error)
            std::filesystem::create_directories(options.dataFolder / folder, error);
    }
    if (error)
        return std::unexpected("cannot create data folder " + options.dataFolder.string() + ": " + error.message());

    auto implementation = std::make_unique<Implementation>(std::move(options));
    Implementation& state = *implementation;
    if (!state.options.requestLogFile.empty()) {
        state.logFile.reset(std::fopen(state.options.requestLogFile.c_str(), "a"));
        if (!state.logFile)
            return std::unexpected("cannot open the request log " + state.options.requestLogFile.string());
    }
    auto tree = FileTree::open(state.options.dataFolder, state.options.clock);
    if (!tree)
        return std::unexpected(tree.error());
    state.tree = std::move(*tree);
    auto shares = ShareStore::open(state.options.dataFolder, *state.tree, state.options.clock);
    if (!shares)
        return std::unexpected(shares.error());
    state.shares = std::move(*shares);
    if (auto attached = state.accounts.attachDatabase(serviceDatabaseConfiguration(state.options.dataFolder));
        !attached)
        return std::unexpected("cannot open the service database: " + attached.error().message());
    // The database file and the folders may be new: their names go to the disk before any answer.
    if (auto synced = syncDataFolder(state.options.dataFolder); !synced)
        return std::unexpected(synced.error());
    state.accounts.setSessionPolicy(state.options.sessions);
    state.accounts.setLoginLimits(state.options.loginLimits);
    // Headers and body leave in separate writes; without this, delayed
    // acknowledgements hold every small answer back by tens of milliseconds.
    state.server.set_tcp_nodelay(true);
    // Clients keep their connections for many requests; an idle one is let go
    // soon, because stopping the server waits for idle connections to end.
    state.server.set_keep_alive_max_count(100000);
    state.server.set_keep_alive_timeout(1);
    // A client that stalls while sending or receiving is let go after a few
    // seconds, one that trickles once its request took too long, so that slow
    // connections do not keep threads from others.
    state.server.set_read_timeout(readWriteTimeoutSeconds, 0);
    state.server.set_write_timeout(readWriteTimeoutSeconds, 0);
    state.server.setLimits(state.options.connections);
    state.server.set_pre_routing_handler([&state](const httplib::Request& request, httplib::Response& response) {
        GuardedServer::headReceived();
        state.record(request);
        if (Implementation::refuseBufferedBody(request, response))
            return httplib::Server::HandlerResponse::Handled;
        return httplib::Server::HandlerResponse::Unhandled;
    });
    state.server.set_post_routing_handler([&state](const httplib::Request&, httplib::Response& response) {
        std::optional<std::string> fixed;
        {
            std::lock_guard lock(state.mutex);
            fixed = state.fixedDate;
        }
        response.set_header("Date", fixed ? *fixed : httpDate(state.options.clock.wall()));
    });
    // The logger runs once the answer was written (or its writing failed), so
    // it marks the end of a request even for streamed bodies.
    state.server.set_logger([&state](const httplib::Request&, const httplib::Response&) { state.finished(); });
    state.installRoutes();

    if (state.options.port == 0) {
        state.port = state.server.bind_to_any_port(state.options.host);
    } else if (state.server.bind_to_port(state.options.host, state.options.port)) {
        state.port = state.options.port;
    }
    if (state.port <= 0)
        return std::unexpected("cannot listen on " + state.options.host + ":" + std::to_string(state.options.port));
    state.server.widenBacklog();
    state.listener = std::thread([&state] {
        state.server.listen_after_bind();
        state.listenerEnded.store(true);
    });
    // The server's stop() reaches only a loop that already runs; a stop that
    // came earlier would be lost and the listener would wait in accept()
    // forever. So the server is handed out only once its loop runs.
    while (!state.server.is_running() && !state.listenerEnded.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return std::unique_ptr<LocalCloudServer>(new LocalCloudServer(std::move(implementation)));
}

LocalCloudServer::LocalCloudServer(std::unique_ptr<Implementation> implementation)
    : m_implementation(std::move(implementation))
{
}

LocalCloudServer::~LocalCloudServer()
{
    Implementation& state = *m_implementation;
    state.stopping.store(true);
    {
        std::lock_guard lock(state.mutex);
        for (auto& entry : state.gates)
            entry.gate->open();
    }
    state.changed.notify_all();
    state.server.stop();
    if (state.listener.joinable())
        state.listener.join();
}

int LocalCloudServer::port() const
{
    return m_implementation->port;
}

std::string LocalCloudServer::origin() const
{
    return "http://" + m_implementation->options.host + ":" + std::to_string(port());
}

std::string LocalCloudServer::baseURL() const
{
    return origin() + "/v2.0";
}

const std::filesystem::path& LocalCloudServer::dataFolder() const
{
    return m_implementation->options.dataFolder;
}

std::filesystem::path LocalCloudServer::contentPath(std::int64_t identifier) const
{
    return dataFolder() / "raw" / std::to_string(identifier);
}

std::filesystem::path LocalCloudServer::storedContentPath(std::int64_t identifier) const
{
    return m_implementation->tree->contentPath(identifier);
}

FileTree& LocalCloudServer::files() const
{
    return *m_implementation->tree;
}

ShareStore& LocalCloudServer::shares() const
{
    return *m_implementation->shares;
}

std::expected<void, std::string> LocalCloudServer::seedTree(const std::string& login,
    const std::vector<SeedEntry>& entries)
{
    auto seeded = m_implementation->tree->seed(login, entries);
    if (!seeded)
        return std::unexpected(seeded.error().message);
    return {};
}

std::int64_t LocalCloudServer::rootIdentifier(const std::string& login)
{
    auto root = m_implementation->tree->root(login);
    return root ? root->record.id : 0;
}

void LocalCloudServer::setFixedDate(std::optional<std::chrono::system_clock::time_point> date)
{
    std::lock_guard lock(m_implementation->mutex);
    m_implementation->fixedDate = date ? std::optional(httpDate(*date)) : std::nullopt;
}

std::vector<RecordedRequest> LocalCloudServer::requestLog() const
{
    std::lock_guard lock(m_implementation->mutex);
    return m_implementation->log;
}

std::size_t LocalCloudServer::requestCount() const
{
    std::lock_guard lock(m_implementation->mutex);
    return m_implementation->log.size();
}

std::size_t LocalCloudServer::inFlight() const
{
    std::lock_guard lock(m_implementation->mutex);
    return m_implementation->inFlight;
}

std::size_t LocalCloudServer::peakInFlight() const
{
    std::lock_guard lock(m_implementation->mutex);
    return m_implementation->peakInFlight;
}

bool LocalCloudServer::waitForRequestCount(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_implementation->mutex);
    return m_implementation->changed.wait_for(lock, timeout, [&] { return m_implementation->log.size() >= count; });
}

bool LocalCloudServer::waitForInFlight(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_implementation->mutex);
    return m_implementation->changed.wait_for(lock, timeout, [&] { return m_implementation->inFlight == count; });
}

bool LocalCloudServer::waitForConnections(std::size_t count, std::chrono::milliseconds timeout) const
{
    return m_implementation->server.waitForConnections(count, timeout);
}

void LocalCloudServer::script(std::string method, std::string path, ScriptedResponse response, std::size_t times)
{
    std::lock_guard lock(m_implementation->mutex);
    m_implementation->scripts.push_back({ std::move(method), std::move(path), std::move(response), times });
}

std::shared_ptr<Gate> LocalCloudServer::addGate(std::string method, std::string path)
{
    auto gate = std::make_shared<Gate>();
    std::lock_guard lock(m_implementation->mutex);
    m_implementation->gates.push_back({ std::move(method), std::move(path), gate });
    return gate;
}

void LocalCloudServer::delayAnswers(std::string method, std::string pathPattern, std::chrono::milliseconds delay)
{
    std::lock_guard lock(m_implementation->mutex);
    m_implementation->answerDelays.push_back({ std::move(method), std::regex(pathPattern), delay });
}

void LocalCloudServer::setTransferShaping(TransferShaping shaping)
{
    std::lock_guard lock(m_implementation->mutex);
    m_implementation->shaping = shaping;
}

Accounts& LocalCloudServer::accounts() const
{
    return m_implementation->accounts;
}

void LocalCloudServer::Implementation::record(const httplib::Request& request)
{
    RecordedRequest entry;
    entry.method = request.method;
    entry.path = request.path;
    entry.query.insert(request.params.begin(), request.params.end());
    for (const auto& [name, value] : request.headers)
        entry.headers.emplace_back(name, value);
    {
        std::lock_guard lock(mutex);
        currentLogIndex = log.size();
        if (logFile) {
            std::fprintf(logFile.get(), "%s %s\n", entry.method.c_str(), entry.path.c_str());
            std::fflush(logFile.get());
        }
        // Only a test keeps what clients sent; a service left running would hold every request forever.
        if (options.testControls)
            log.push_back(std::move(entry));
        ++inFlight;
        peakInFlight = std::max(peakInFlight, inFlight);
    }
    changed.notify_all();
}

void LocalCloudServer::Implementation::finished()
{
    {
        std::lock_guard lock(mutex);
        if (inFlight > 0)
            --inFlight;
    }
    changed.notify_all();
}

std::optional<ScriptedResponse> LocalCloudServer::Implementation::takeScript(const std::string& method,
    const std::string& path)
{
    std::lock_guard lock(mutex);
    for (auto script = scripts.begin(); script != scripts.end(); ++script) {
        if (script->method != method || script->path != path)
            continue;
        ScriptedResponse response = script->response;
        if (--script->remaining == 0)
            scripts.erase(script);
        return response;
    }
    return std::nullopt;
}

void LocalCloudServer::Implementation::delayAnswer(const std::string& method, const std::string& path)
{
    std::unique_lock lock(mutex);
    for (const auto& entry : answerDelays) {
        if (entry.method != method || !std::regex_match(path, entry.path))
            continue;
        auto until = std::chrono::steady_clock::now() + entry.delay;
        changed.wait_until(lock, until, [this] { return stopping.load(); });
        return;
    }
}

std::shared_ptr<Gate> LocalCloudServer::Implementation::gateFor(const std::string& method,
    const std::string& path) const
{
    std::lock_guard lock(mutex);
    for (const auto& entry : gates) {
        if (entry.method == method && entry.path == path)
            return entry.gate;
    }
    return nullptr;
}

void LocalCloudServer::Implementation::dispatch(const httplib::Request& request, httplib::Response& response,
    const RequestBody& plainBody)
{
    RequestBody body = plainBody;
    if (refuseForeignHost(request, response, body))
        return;
    if (options.testControls && request.get_header_value("Content-Type").starts_with("application/json")) {
        body.onRead = [this, index = currentLogIndex, login = request.path == "/v2.0/login"](const std::string& text) {
            auto kept = login ? withoutPassword(text) : text;
            std::lock_guard lock(mutex);
            if (index < log.size())
                log[index].body = std::move(kept);
        };
    }
    if (auto gate = gateFor(request.method, request.path); gate && !stopping.load())
        gate->pass();
    if (auto scripted = takeScript(request.method, request.path)) {
        // Read what the client sends, so the connection stays usable.
        (void)body.readAll(request);
        response.status = scripted->status;
        for (const auto& [name, value] : scripted->headers)
            response.set_header(name, value);
        response.set_content(scripted->body,
            scripted->contentType == "application/json" ? jsonContentType : scripted->contentType.c_str());
        return;
    }
    for (const auto& route : routes) {
        std::smatch match;
        if (route.method == request.method && std::regex_match(request.path, match, route.pattern)) {
            route.handler(request, response, body, match);
            delayAnswer(request.method, request.path);
            return;
        }
    }
    body.discard(request);
    respondWithServiceError(response, ServiceErrors::unknownRoute());
}

} // namespace LocalCloud
