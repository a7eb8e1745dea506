#include "Quarlink/Files/DeltaRequestReplacable.hpp"

#include <charconv>
#include <cmath>

namespace Quarlink {

std::string describedDouble(double number)
{
    if (std::isnan(number))
        return "nan";
    if (std::isinf(number))
        return number < 0 ? "-inf" : "inf";
    char buffer[64];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, number);
    std::string text(buffer, error == std::errc() ? end : buffer);
    if (text.find_first_of(".e") == std::string::npos)
        text += ".0";
    return text;
}

ValueDescription::ValueDescription(std::string_view typeName)
    : m_text(std::string(typeName) + "(")
{
}

ValueDescription& ValueDescription::append(std::string_view name, std::string_view value)
{
    if (!m_first)
        m_text += ", ";
    m_first = false;
    m_text.append(name).append(": ").append(value);
    return *this;
}

ValueDescription& ValueDescription::field(std::string_view name, std::string_view text)
{
    return append(name, "\"" + std::string(text) + "\"");
}

ValueDescription& ValueDescription::field(std::string_view name, std::int64_t number)
{
    return append(name, std::to_string(number));
}

ValueDescription& ValueDescription::field(std::string_view name, double number)
{
    return append(name, describedDouble(number));
}

ValueDescription& ValueDescription::field(std::string_view name, const std::vector<std::int64_t>& numbers)
{
    std::string list = "[";
    for (std::size_t index = 0; index < numbers.size(); ++index) {
        if (index > 0)
            list += ", ";
        list += std::to_string(numbers[index]);
    }
    return append(name, list + "]");
}

} // namespace Quarlink
