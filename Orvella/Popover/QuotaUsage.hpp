#pragma once

#include "Quarlink/Envelope/Quota.hpp"

#include <string>

namespace Orvella {

// The share of the quota in use: used / total, and 1.0 when the total is below one byte.
[[nodiscard]] double fractionUsed(const Quarlink::Quota& quota);

// The popover's usage line, "<percent> % von <total>": the percentage of
// `fractionUsed` × 100 without decimals, rounded as `printf("%.0f")` rounds
// (half to even on the exact value) whatever the locale, and the total as
// `formatByteCount` writes it. Example: "37 % von 2 GB".
[[nodiscard]] std::string usageText(const Quarlink::Quota& quota);

} // namespace Orvella
