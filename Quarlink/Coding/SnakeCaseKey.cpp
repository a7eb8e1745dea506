#include "Quarlink/Coding/SnakeCaseKey.hpp"

#include "Platform/Foundation/Unicode.hpp"

#include <cstddef>
#include <utility>
#include <vector>

namespace Quarlink {

namespace {

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
    // Keys come from the program's own field names; a stray byte is carried
    // over as the replacement character rather than dropped.
    auto points = Platform::codePoints(key);
    std::size_t count = points.size();

    std::vector<std::pair<std::size_t, std::size_t>> words;
    std::size_t wordStart = 0;
    std::size_t searchStart = 1;
    while (true) {
        std::size_t capital = searchStart;
        while (capital < count && !Platform::isUppercaseLetter(points[capital]))
            ++capital;
        if (capital >= count)
            break;
        words.emplace_back(wordStart, capital);

        std::size_t lower = capital;
        while (lower < count && !Platform::isLowercaseLetter(points[lower]))
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
            result += Platform::lowercased(points[position]);
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
