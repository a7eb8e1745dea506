#include "Orvella/Popover/GraphemeClusters.hpp"

#include <utf8proc.h>

namespace Orvella {

std::size_t graphemeClusterCount(std::string_view text)
{
    std::size_t count = 0;
    utf8proc_int32_t state = 0;
    utf8proc_int32_t previous = -1;
    auto position = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    auto remaining = static_cast<utf8proc_ssize_t>(text.size());
    while (remaining > 0) {
        utf8proc_int32_t codePoint = 0;
        auto length = utf8proc_iterate(position, remaining, &codePoint);
        if (length < 1) {
            // An invalid byte is a character of its own and breaks any cluster.
            ++count;
            previous = -1;
            state = 0;
            ++position;
            --remaining;
            continue;
        }
        if (previous < 0 || utf8proc_grapheme_break_stateful(previous, codePoint, &state)) {
            ++count;
        }
        previous = codePoint;
        position += length;
        remaining -= length;
    }
    return count;
}

} // namespace Orvella
