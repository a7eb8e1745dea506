#include "Quarlink/Coding/TextEncoding.hpp"

#include <utf8proc.h>

namespace Quarlink {

std::string lossyUTF8(std::string_view text)
{
    auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    auto length = static_cast<utf8proc_ssize_t>(text.size());
    std::string result;
    result.reserve(text.size());
    utf8proc_ssize_t offset = 0;
    while (offset < length) {
        utf8proc_int32_t point = 0;
        auto consumed = utf8proc_iterate(bytes + offset, length - offset, &point);
        if (consumed <= 0) {
            result += "\xEF\xBF\xBD";
            ++offset;
            continue;
        }
        result.append(text.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(consumed)));
        offset += consumed;
    }
    return result;
}

} // namespace Quarlink
