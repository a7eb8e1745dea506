#pragma once

// For the layer's own sources only: public headers of the layer never
// expose GLib.

#include <gio/gio.h>

#include <optional>
#include <string>

namespace Platform {

// A new, private connection to the bus at `address`, or to the session bus
// when none is given; null when no bus answers. The caller closes and
// unrefs it (`closeBusConnection`).
[[nodiscard]] GDBusConnection* openBusConnection(const std::optional<std::string>& address);
void closeBusConnection(GDBusConnection* connection);

} // namespace Platform
