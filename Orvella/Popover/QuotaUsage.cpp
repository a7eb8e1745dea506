#include "Orvella/Popover/QuotaUsage.hpp"

#include "Orvella/Popover/ByteCountFormatter.hpp"

#include <array>
#include <charconv>

namespace Orvella {

double fractionUsed(const Quarlink::Quota& quota)
{
    if (quota.totalBytes < 1) {
        return 1.0;
    }
    return static_cast<double>(quota.usedBytes) / static_cast<double>(quota.totalBytes);
}

std::string usageText(const Quarlink::Quota& quota)
{
    std::array<char, 400> buffer {};
    // `to_chars` never looks at the locale and rounds the exact value as printf does.
    const auto written = std::to_chars(buffer.data(), buffer.data() + buffer.size(), fractionUsed(quota) * 100.0,
        std::chars_format::fixed, 0);
    const std::string percent(buffer.data(), written.ptr);
    return percent + " % von " + formatByteCount(quota.totalBytes);
}

} // namespace Orvella
