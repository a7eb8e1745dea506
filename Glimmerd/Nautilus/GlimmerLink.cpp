#include "Glimmerd/Nautilus/GlimmerLink.hpp"

#include "Glimmerd/FinderSyncHost/GlimmerSocketPath.hpp"

#include <gio/gunixsocketaddress.h>

namespace GlimmerNautilus {

using nlohmann::json;

namespace {

constexpr guint reconnectSeconds = 3;

std::string dumped(const json& value)
{
    return value.dump(-1, ' ', false, json::error_handler_t::replace) + '\n';
}

bool wasCancelled(const GError* error)
{
    return error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
}

// Whoever serves the socket learns every path Nautilus shows and chooses the
// menu entries, so only this user's own glimmerd in this user's own folder is spoken to.
bool isTrusted(std::expected<void, std::string> check)
{
    if (!check)
        g_message("glimmer: refused: %s", check.error().c_str());
    return check.has_value();
}

} // namespace

GlimmerLink::GlimmerLink(std::string socketPath, Events events)
    : m_socketPath(std::move(socketPath))
    , m_events(std::move(events))
{
    connect();
}

GlimmerLink::~GlimmerLink()
{
    if (m_reconnectSource)
        g_source_remove(m_reconnectSource);
    m_events = {};
    disconnect();
}

void GlimmerLink::connect()
{
    if (m_connection || m_connecting)
        return;
    if (!isTrusted(FinderSyncHost::checkSocketDirectory(m_socketPath))) {
        // Failed from the main loop, never inside the caller's `send`.
        if (!m_reconnectSource) {
            m_reconnectSource = g_idle_add([](gpointer data) -> gboolean {
                auto* self = static_cast<GlimmerLink*>(data);
                self->m_reconnectSource = 0;
                self->lose(nullptr);
                return G_SOURCE_REMOVE;
            }, this);
        }
        return;
    }
    m_connecting = true;
    m_cancellable = g_cancellable_new();
    auto* client = g_socket_client_new();
    auto* address = g_unix_socket_address_new(m_socketPath.c_str());
    g_socket_client_connect_async(client, G_SOCKET_CONNECTABLE(address), m_cancellable, &GlimmerLink::connected, this);
    g_object_unref(address);
    g_object_unref(client);
}

void GlimmerLink::connected(GObject* source, GAsyncResult* result, gpointer data)
{
    GError* error = nullptr;
    auto* connection = g_socket_client_connect_finish(G_SOCKET_CLIENT(source), result, &error);
    if (wasCancelled(error)) {
        g_error_free(error);
        return;
    }
    auto* self = static_cast<GlimmerLink*>(data);
    self->m_connecting = false;
    if (!connection)
        return self->lose(error);
    if (!isTrusted(FinderSyncHost::checkSocketPeer(g_socket_get_fd(g_socket_connection_get_socket(connection))))) {
        g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
        g_object_unref(connection);
        return self->lose(nullptr);
    }
    self->m_connection = connection;
    self->m_input = g_data_input_stream_new(g_io_stream_get_input_stream(G_IO_STREAM(connection)));
    g_data_input_stream_set_newline_type(self->m_input, G_DATA_STREAM_NEWLINE_TYPE_LF);
    // The hello and the subscription go first, before any request that waited.
    std::deque<std::string> waiting;
    waiting.swap(self->m_outgoing);
    auto helloID = self->m_nextID++;
    self->m_pending.emplace(helloID, [self](const json* answer) {
        if (answer)
            self->adoptHello(*answer);
    });
    self->m_outgoing.push_back(dumped({ { "id", helloID }, { "op", "hello" } }));
    self->m_outgoing.push_back(dumped({ { "id", self->m_nextID++ }, { "op", "subscribe" } }));
    for (auto& line : waiting)
        self->m_outgoing.push_back(std::move(line));
    self->writeNext();
    self->readNext();
}

void GlimmerLink::adoptHello(const json& answer)
{
    m_observed.clear();
    m_emblems.clear();
    for (const auto& folder : answer.value("observed", json::array())) {
        if (folder.is_string())
            m_observed.push_back(folder.get<std::string>());
    }
    for (const auto& badge : answer.value("badges", json::array())) {
        if (badge.is_object() && badge.value("identifier", json()).is_string() && badge.value("image", json()).is_string())
            m_emblems[badge["identifier"].get<std::string>()] = "orvella-" + badge["image"].get<std::string>();
    }
    if (m_events.observedChanged)
        m_events.observedChanged();
}

void GlimmerLink::readNext()
{
    g_data_input_stream_read_line_async(m_input, G_PRIORITY_DEFAULT, m_cancellable, &GlimmerLink::lineRead, this);
}

void GlimmerLink::lineRead(GObject* source, GAsyncResult* result, gpointer data)
{
    GError* error = nullptr;
    gsize length = 0;
    char* line = g_data_input_stream_read_line_finish(G_DATA_INPUT_STREAM(source), result, &length, &error);
    if (wasCancelled(error)) {
        g_error_free(error);
        return;
    }
    auto* self = static_cast<GlimmerLink*>(data);
    if (!line)
        return self->lose(error);
    std::string text(line, length);
    g_free(line);
    self->handleLine(text);
    if (self->m_input)
        self->readNext();
}

void GlimmerLink::handleLine(const std::string& line)
{
    auto message = json::parse(line, nullptr, false);
    if (message.is_discarded() || !message.is_object())
        return;
    try {
        if (auto event = message.find("event"); event != message.end()) {
            if (*event == "badge" && message.value("path", json()).is_string() && m_events.badgeChanged) {
                auto badge = message.value("badge", json());
                m_events.badgeChanged(message["path"].get<std::string>(), badge.is_string() ? badge.get<std::string>() : "");
            } else if (*event == "observed") {
                m_observed.clear();
                for (const auto& folder : message.value("observed", json::array())) {
                    if (folder.is_string())
                        m_observed.push_back(folder.get<std::string>());
                }
                if (m_events.observedChanged)
                    m_events.observedChanged();
            }
            return;
        }
        auto id = message.value("id", json());
        if (!id.is_number_integer())
            return;
        auto pending = m_pending.find(id.get<std::int64_t>());
        if (pending == m_pending.end())
            return;
        auto handler = std::move(pending->second);
        m_pending.erase(pending);
        handler(&message);
    } catch (const json::exception&) {
        // A line of unexpected shape is skipped; the connection stays.
    }
}

void GlimmerLink::send(json request, AnswerHandler handler)
{
    auto id = m_nextID++;
    request["id"] = id;
    m_pending.emplace(id, std::move(handler));
    write(dumped(request));
    connect();
}

void GlimmerLink::write(std::string line)
{
    m_outgoing.push_back(std::move(line));
    if (m_connection)
        writeNext();
}

void GlimmerLink::writeNext()
{
    if (m_writing || m_outgoing.empty() || !m_connection)
        return;
    m_writing = true;
    auto* output = g_io_stream_get_output_stream(G_IO_STREAM(m_connection));
    const auto& line = m_outgoing.front();
    g_output_stream_write_all_async(output, line.data(), line.size(), G_PRIORITY_DEFAULT, m_cancellable,
        &GlimmerLink::written, this);
}

void GlimmerLink::written(GObject* source, GAsyncResult* result, gpointer data)
{
    GError* error = nullptr;
    auto ok = g_output_stream_write_all_finish(G_OUTPUT_STREAM(source), result, nullptr, &error);
    if (wasCancelled(error)) {
        g_error_free(error);
        return;
    }
    auto* self = static_cast<GlimmerLink*>(data);
    self->m_writing = false;
    if (!ok)
        return self->lose(error);
    self->m_outgoing.pop_front();
    self->writeNext();
}

void GlimmerLink::disconnect()
{
    if (m_cancellable) {
        g_cancellable_cancel(m_cancellable);
        g_object_unref(m_cancellable);
        m_cancellable = nullptr;
    }
    if (m_input) {
        g_object_unref(m_input);
        m_input = nullptr;
    }
    if (m_connection) {
        g_io_stream_close(G_IO_STREAM(m_connection), nullptr, nullptr);
        g_object_unref(m_connection);
        m_connection = nullptr;
    }
    m_connecting = false;
    m_writing = false;
    m_outgoing.clear();
    auto pending = std::move(m_pending);
    m_pending.clear();
    for (auto& [id, handler] : pending)
        handler(nullptr);
    bool hadFolders = !m_observed.empty();
    m_observed.clear();
    if (hadFolders && m_events.observedChanged)
        m_events.observedChanged();
}

void GlimmerLink::lose(GError* error)
{
    g_clear_error(&error);
    disconnect();
    scheduleReconnect();
}

void GlimmerLink::scheduleReconnect()
{
    if (m_reconnectSource)
        return;
    m_reconnectSource = g_timeout_add_seconds(reconnectSeconds, [](gpointer data) -> gboolean {
        auto* self = static_cast<GlimmerLink*>(data);
        self->m_reconnectSource = 0;
        self->connect();
        return G_SOURCE_REMOVE;
    }, this);
}

bool GlimmerLink::isObserved(const std::string& path) const
{
    for (const auto& folder : m_observed) {
        auto prefix = folder.ends_with('/') ? folder : folder + '/';
        if (path == folder || path.starts_with(prefix))
            return true;
    }
    return false;
}

std::string GlimmerLink::emblem(const std::string& identifier) const
{
    auto found = m_emblems.find(identifier);
    return found == m_emblems.end() ? std::string() : found->second;
}

std::optional<json> GlimmerLink::ask(const json& request, std::chrono::milliseconds deadline) const
{
    auto end = g_get_monotonic_time() + std::chrono::duration_cast<std::chrono::microseconds>(deadline).count();
    if (!isTrusted(FinderSyncHost::checkSocketDirectory(m_socketPath)))
        return std::nullopt;
    auto* socket = g_socket_new(G_SOCKET_FAMILY_UNIX, G_SOCKET_TYPE_STREAM, G_SOCKET_PROTOCOL_DEFAULT, nullptr);
    if (!socket)
        return std::nullopt;
    std::optional<json> answer;
    auto* address = g_unix_socket_address_new(m_socketPath.c_str());
    g_socket_set_blocking(socket, FALSE);
    GError* error = nullptr;
    bool ready = g_socket_connect(socket, address, nullptr, &error);
    if (!ready && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_PENDING)) {
        g_clear_error(&error);
        ready = g_socket_condition_timed_wait(socket, G_IO_OUT, std::max<gint64>(end - g_get_monotonic_time(), 0), nullptr, nullptr)
            && g_socket_check_connect_result(socket, nullptr);
    }
    g_clear_error(&error);
    g_object_unref(address);
    if (ready && !isTrusted(FinderSyncHost::checkSocketPeer(g_socket_get_fd(socket))))
        ready = false;
    auto text = dumped(request);
    std::size_t sent = 0;
    while (ready && sent < text.size()) {
        auto count = g_socket_send(socket, text.data() + sent, text.size() - sent, nullptr, nullptr);
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
            continue;
        }
        ready = g_socket_condition_timed_wait(socket, G_IO_OUT, std::max<gint64>(end - g_get_monotonic_time(), 0), nullptr, nullptr);
    }
    std::string received;
    while (ready && received.find('\n') == std::string::npos) {
        if (!g_socket_condition_timed_wait(socket, G_IO_IN, std::max<gint64>(end - g_get_monotonic_time(), 0), nullptr, nullptr))
            break;
        char chunk[8192];
        auto count = g_socket_receive(socket, chunk, sizeof(chunk), nullptr, nullptr);
        if (count <= 0)
            break;
        received.append(chunk, static_cast<std::size_t>(count));
    }
    if (auto newline = received.find('\n'); newline != std::string::npos) {
        auto parsed = json::parse(received.substr(0, newline), nullptr, false);
        if (!parsed.is_discarded() && parsed.is_object())
            answer = std::move(parsed);
    }
    g_socket_close(socket, nullptr);
    g_object_unref(socket);
    return answer;
}

} // namespace GlimmerNautilus
