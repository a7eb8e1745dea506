#include "Platform/Desktop/BusConnection.hpp"

namespace Platform {

GDBusConnection* openBusConnection(const std::optional<std::string>& address)
{
    GError* error = nullptr;
    // A private connection, not the process's shared one, so the address of
    // each caller counts and closing it disturbs nobody.
    gchar* resolved = address ? g_strdup(address->c_str()) : g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!resolved) {
        g_clear_error(&error);
        return nullptr;
    }
    auto* connection = g_dbus_connection_new_for_address_sync(resolved,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT | G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &error);
    g_free(resolved);
    g_clear_error(&error);
    return connection;
}

void closeBusConnection(GDBusConnection* connection)
{
    if (!connection)
        return;
    g_dbus_connection_close_sync(connection, nullptr, nullptr);
    g_object_unref(connection);
}

} // namespace Platform
