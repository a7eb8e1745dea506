#include "Quarlink/Coding/SnakeCaseKey.hpp"

#include "Platform/Foundation/Unicode.hpp"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
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

struct KeyHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view key) const noexcept { return std::hash<std::string_view>()(key); }
};

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
    // Every request body spells the same few field names again, and working
    // one out walks its code points: each thread remembers those it has
    // worked out, up to a bound that keys made from data cannot push past.
    static constexpr std::size_t rememberedKeys = 512;
    thread_local std::unordered_map<std::string, std::string, KeyHash, std::equal_to<>> remembered;
    if (auto found = remembered.find(key); found != remembered.end())
        return found->second;
    auto text = replacingAll(std::string(key), "ID", "Id");
    text = replacingAll(std::move(text), "URL", "Url");
    auto converted = convertToSnakeCase(text);
    if (remembered.size() < rememberedKeys)
        remembered.emplace(std::string(key), converted);
    return converted;
}

} // namespace Quarlink
