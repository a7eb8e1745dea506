#include "Platform/Desktop/Tests/RecordingNotificationServer.hpp"

#include "Platform/Desktop/BusConnection.hpp"

#include <algorithm>
#include <condition_variable>

namespace Platform::Testing {

namespace {

constexpr const char* introspection = R"(
<node>
  <interface name="org.freedesktop.Notifications">
    <method name="GetCapabilities"><arg type="as" direction="out"/></method>
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/><arg type="u" direction="out"/>
    </method>
    <method name="CloseNotification"><arg type="u" direction="in"/></method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/><arg type="s" direction="out"/><arg type="s" direction="out"/>
    </method>
  </interface>
</node>)";

void onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant* parameters,
    GDBusMethodInvocation* invocation, gpointer server)
{
    static_cast<RecordingNotificationServer*>(server)->handle(method, parameters, invocation);
}

} // namespace

RecordingNotificationServer::RecordingNotificationServer(const std::string& busAddress, bool bodyMarkup)
    : m_address(busAddress)
    , m_bodyMarkup(bodyMarkup)
{
    std::mutex readyMutex;
    std::condition_variable ready;
    bool started = false;
    m_context = g_main_context_new();
    m_loop = g_main_loop_new(m_context, FALSE);
    m_thread = std::thread([&] {
        g_main_context_push_thread_default(m_context);
        bool serving = false;
        auto* connection = openBusConnection(m_address);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(introspection, nullptr);
        if (connection && node) {
            static const GDBusInterfaceVTable table = { onMethodCall, nullptr, nullptr, { nullptr } };
            g_dbus_connection_register_object(connection, "/org/freedesktop/Notifications", node->interfaces[0], &table, this, nullptr, nullptr);
            auto* reply = g_dbus_connection_call_sync(connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "RequestName", g_variant_new("(su)", "org.freedesktop.Notifications", 4u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000,
                nullptr, nullptr);
            if (reply) {
                guint32 result = 0;
                g_variant_get(reply, "(u)", &result);
                serving = result == 1;
                g_variant_unref(reply);
            }
        }
        {
            // Notified under the lock: the constructor's stack (and the
            // condition) may go as soon as it sees `started`.
            std::lock_guard lock(readyMutex);
            m_serving = serving;
            started = true;
            ready.notify_all();
        }
        if (serving)
            g_main_loop_run(m_loop);
        closeBusConnection(connection);
        if (node)
            g_dbus_node_info_unref(node);
        g_main_context_pop_thread_default(m_context);
    });
    std::unique_lock lock(readyMutex);
    ready.wait(lock, [&] { return started; });
}

RecordingNotificationServer::~RecordingNotificationServer()
{
    g_main_loop_quit(m_loop);
    g_main_context_wakeup(m_context);
    m_thread.join();
    g_main_loop_unref(m_loop);
    g_main_context_unref(m_context);
}

std::vector<RecordingNotificationServer::Shown> RecordingNotificationServer::shown() const
{
    std::lock_guard lock(m_mutex);
    return m_shown;
}

std::vector<RecordingNotificationServer::Call> RecordingNotificationServer::calls() const
{
    std::lock_guard lock(m_mutex);
    return m_calls;
}

void RecordingNotificationServer::handle(const std::string& method, void* rawParameters, void* rawInvocation)
{
    auto* parameters = static_cast<GVariant*>(rawParameters);
    auto* invocation = static_cast<GDBusMethodInvocation*>(rawInvocation);
    std::lock_guard lock(m_mutex);
    if (method == "GetCapabilities") {
        GVariantBuilder capabilities;
        g_variant_builder_init(&capabilities, G_VARIANT_TYPE("as"));
        g_variant_builder_add(&capabilities, "s", "body");
        if (m_bodyMarkup)
            g_variant_builder_add(&capabilities, "s", "body-markup");
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(as)", &capabilities));
    } else if (method == "Notify") {
        const gchar* application = nullptr;
        guint32 replaces = 0;
        const gchar* icon = nullptr;
        const gchar* summary = nullptr;
        const gchar* body = nullptr;
        g_variant_get(parameters, "(&su&s&s&s@as@a{sv}i)", &application, &replaces, &icon, &summary, &body, nullptr, nullptr, nullptr);
        m_calls.push_back({ method, replaces, summary, body });
        auto existing = std::ranges::find(m_shown, replaces, &Shown::id);
        std::uint32_t id = replaces != 0 && existing != m_shown.end() ? replaces : m_nextID++;
        if (existing != m_shown.end() && replaces != 0)
            *existing = { id, application, summary, body };
        else
            m_shown.push_back({ id, application, summary, body });
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", id));
    } else if (method == "CloseNotification") {
        guint32 id = 0;
        g_variant_get(parameters, "(u)", &id);
        m_calls.push_back({ method, id, {}, {} });
        std::erase_if(m_shown, [&](const Shown& shown) { return shown.id == id; });
        g_dbus_method_invocation_return_value(invocation, nullptr);
    } else {
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(ssss)", "Recorder", "Tests", "1", "1.2"));
    }
}

} // namespace Platform::Testing
