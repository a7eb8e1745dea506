#pragma once

#include <string>

namespace LocalCloud {

// 128 bits from the system's cryptographic generator, as lower-case hex: a
// session or a public link is only as safe as its token is unguessable.
// Throws when the generator gives no bytes, so that no weak token goes out.
[[nodiscard]] std::string randomToken();

} // namespace LocalCloud
