#include "Quarlink/Coding/SnakeCaseKey.hpp"

#include <utf8proc.h>

#include <cstddef>
#include <utility>
#include <vector>

namespace Quarlink {

namespace {

std::vector<utf8proc_int32_t> codePoints(std::string_view text)
{
    std::vector<utf8proc_int32_t> points;
    auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    utf8proc_ssize_t offset = 0;
    auto length = static_cast<utf8proc_ssize_t>(text.size());
    while (offset < length) {
        utf8proc_int32_t point = 0;
        auto consumed = utf8proc_iterate(bytes + offset, length - offset, &point);
        if (consumed <= 0) {
            // Keys come from the program's own field names; a stray byte is
            // carried over as the replacement character rather than dropped.
            point = 0xFFFD;
            consumed = 1;
        }
        points.push_back(point);
        offset += consumed;
    }
    return points;
}

bool isUppercase(utf8proc_int32_t point)
{
    auto category = utf8proc_category(point);
    return category == UTF8PROC_CATEGORY_LU || category == UTF8PROC_CATEGORY_LT;
}

bool isLowercase(utf8proc_int32_t point)
{
    return utf8proc_category(point) == UTF8PROC_CATEGORY_LL;
}

void appendLowercased(std::string& text, utf8proc_int32_t point)
{
    // The one letter whose full lower case is two characters.
    if (point == 0x0130) {
        text += "i\xCC\x87";
        return;
    }
    utf8proc_uint8_t buffer[4];
    auto length = utf8proc_encode_char(utf8proc_tolower(point), buffer);
    text.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
}

std::string replacingAll(std::string text, std::string_view from, std::string_view to)
{
    std::size_t position = 0;
    while ((position = text.find(from, position)) != std::string::npos) {
        text.replace(position, from.size(), to);
        position += to.size();
    }
    return text;
}

} // namespace

std::string convertToSnakeCase(std::string_view key)
{
    if (key.empty())
        return {};
    auto points = codePoints(key);
    std::size_t count = points.size();

    std::vector<std::pair<std::size_t, std::size_t>> words;
    std::size_t wordStart = 0;
    std::size_t searchStart = 1;
    while (true) {
        std::size_t capital = searchStart;
        while (capital < count && !isUppercase(points[capital]))
            ++capital;
        if (capital >= count)
            break;
        words.emplace_back(wordStart, capital);

        std::size_t lower = capital;
        while (lower < count && !isLowercase(points[lower]))
            ++lower;
        if (lower >= count) {
            wordStart = capital;
            break;
        }
        if (lower == capital + 1) {
            wordStart = capital;
        } else {
            words.emplace_back(capital, lower - 1);
            wordStart = lower - 1;
        }
        searchStart = lower + 1;
    }
    words.emplace_back(wordStart, count);

    std::string result;
    for (std::size_t index = 0; index < words.size(); ++index) {
        if (index > 0)
            result += '_';
        for (std::size_t position = words[index].first; position < words[index].second; ++position)
            appendLowercased(result, points[position]);
    }
    return result;
}

std::string snakeCaseKey(std::string_view key)
{
    auto text = replacingAll(std::string(key), "ID", "Id");
    text = replacingAll(std::move(text), "URL", "Url");
    return convertToSnakeCase(text);
}

} // namespace Quarlink
