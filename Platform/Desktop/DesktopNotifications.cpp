#include "Platform/Desktop/DesktopNotifications.hpp"

#include "Platform/Desktop/BusConnection.hpp"
#include "Platform/Foundation/Log.hpp"

#include <map>
#include <mutex>

namespace Platform {

namespace {

constexpr const char* serverName = "org.freedesktop.Notifications";
constexpr const char* serverPath = "/org/freedesktop/Notifications";

} // namespace

struct DesktopNotifications::State {
    Options options;
    GDBusConnection* connection = nullptr;
    std::optional<bool> bodyMarkup;
    std::mutex mutex;
    // The server's id of the notification shown for each identifier.
    std::map<std::string, guint32> shown;

    ~State() { closeBusConnection(connection); }

    GVariant* call(const char* method, GVariant* parameters, const GVariantType* replyType)
    {
        GError* error = nullptr;
        auto* reply = g_dbus_connection_call_sync(connection, serverName, serverPath, serverName, method, parameters, replyType,
            G_DBUS_CALL_FLAGS_NONE, static_cast<gint>(options.timeout.count()), nullptr, &error);
        if (!reply) {
            Log::failure(std::string("Der Mitteilungsdienst antwortet nicht auf ") + method + ": " + (error ? error->message : ""));
            g_clear_error(&error);
        }
        return reply;
    }

    bool serverReadsMarkup()
    {
        if (bodyMarkup)
            return *bodyMarkup;
        bool markup = false;
        if (auto* reply = call("GetCapabilities", nullptr, G_VARIANT_TYPE("(as)"))) {
            GVariantIter* capabilities = nullptr;
            g_variant_get(reply, "(as)", &capabilities);
            const gchar* capability = nullptr;
            while (g_variant_iter_loop(capabilities, "&s", &capability))
                markup = markup || std::string_view(capability) == "body-markup";
            g_variant_iter_free(capabilities);
            g_variant_unref(reply);
            bodyMarkup = markup;
        }
        return markup;
    }
};

DesktopNotifications::DesktopNotifications(std::unique_ptr<State> state)
    : m_state(std::move(state))
{
}

DesktopNotifications::~DesktopNotifications() = default;

std::shared_ptr<DesktopNotifications> DesktopNotifications::create(Options options)
{
    auto state = std::make_unique<State>();
    state->connection = openBusConnection(options.busAddress);
    state->options = std::move(options);
    if (!state->connection)
        Log::line("Kein Sitzungsbus erreichbar; Mitteilungen gehen nur ins Protokoll");
    return std::shared_ptr<DesktopNotifications>(new DesktopNotifications(std::move(state)));
}

bool DesktopNotifications::isConnected() const { return m_state->connection != nullptr; }

std::string DesktopNotifications::plainLine(std::string_view text)
{
    std::string line;
    line.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        auto character = static_cast<unsigned char>(text[index]);
        if (character < 0x20 || character == 0x7F) {
            line += ' ';
        } else if (character == 0xC2 && index + 1 < text.size() && static_cast<unsigned char>(text[index + 1]) >= 0x80
            && static_cast<unsigned char>(text[index + 1]) <= 0x9F) {
            line += ' '; // a C1 control character (U+0080 to U+009F)
            ++index;
        } else {
            line += static_cast<char>(character);
        }
    }
    return line;
}

std::string DesktopNotifications::escapedMarkup(std::string_view text)
{
    std::string escaped;
    for (char character : text) {
        switch (character) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        default:
            escaped += character;
        }
    }
    return escaped;
}

void DesktopNotifications::deliver(const std::string& title, const std::string& text, const std::optional<std::string>& identifier)
{
    auto summary = plainLine(title);
    auto body = plainLine(text);
    std::lock_guard lock(m_state->mutex);
    if (!m_state->connection) {
        Log::line("Mitteilung: " + summary + " – " + body);
        if (identifier)
            m_state->shown.insert_or_assign(*identifier, 0);
        return;
    }
    if (m_state->serverReadsMarkup())
        body = escapedMarkup(body);
    guint32 replaces = 0;
    if (identifier)
        if (auto entry = m_state->shown.find(*identifier); entry != m_state->shown.end())
            replaces = entry->second;
    GVariantBuilder actions;
    GVariantBuilder hints;
    g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
    g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
    auto* parameters = g_variant_new("(susssasa{sv}i)", m_state->options.applicationName.c_str(), replaces, "", summary.c_str(), body.c_str(),
        &actions, &hints, -1);
    auto* reply = m_state->call("Notify", parameters, G_VARIANT_TYPE("(u)"));
    if (!reply) {
        Log::line("Mitteilung: " + summary + " – " + plainLine(text));
        return;
    }
    guint32 id = 0;
    g_variant_get(reply, "(u)", &id);
    g_variant_unref(reply);
    if (identifier)
        m_state->shown.insert_or_assign(*identifier, id);
}

void DesktopNotifications::remove(const std::string& identifier)
{
    std::lock_guard lock(m_state->mutex);
    auto entry = m_state->shown.find(identifier);
    if (entry == m_state->shown.end())
        return;
    auto id = entry->second;
    m_state->shown.erase(entry);
    if (!m_state->connection) {
        Log::line("Mitteilung zurückgezogen: " + plainLine(identifier));
        return;
    }
    if (auto* reply = m_state->call("CloseNotification", g_variant_new("(u)", id), nullptr))
        g_variant_unref(reply);
}

} // namespace Platform
