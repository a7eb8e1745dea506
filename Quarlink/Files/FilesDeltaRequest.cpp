#include "Quarlink/Files/FilesDeltaRequest.hpp"

#include "Quarlink/Coding/JSONDecoder.hpp"

#include <array>
#include <cctype>
#include <cmath>

namespace Quarlink {

namespace {

bool equalsIgnoringCase(std::string_view left, std::string_view right)
{
    if (left.size() != right.size())
        return false;
    for (std::size_t index = 0; index < left.size(); ++index) {
        if (std::tolower(static_cast<unsigned char>(left[index])) != std::tolower(static_cast<unsigned char>(right[index])))
            return false;
    }
    return true;
}

// Reads exactly `digits` decimal digits at `position`.
std::optional<int> number(std::string_view text, std::size_t& position, std::size_t minimumDigits, std::size_t maximumDigits)
{
    std::size_t start = position;
    int value = 0;
    while (position < text.size() && position - start < maximumDigits && std::isdigit(static_cast<unsigned char>(text[position]))) {
        value = value * 10 + (text[position] - '0');
        ++position;
    }
    if (position - start < minimumDigits)
        return std::nullopt;
    return value;
}

bool literal(std::string_view text, std::size_t& position, std::string_view expected)
{
    if (text.substr(position, expected.size()) != expected)
        return false;
    position += expected.size();
    return true;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

} // namespace

std::optional<Platform::Date> parseHTTPDate(std::string_view text)
{
    static constexpr std::array<std::string_view, 7> weekdays { "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun" };
    static constexpr std::array<std::string_view, 12> months { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep",
        "Oct", "Nov", "Dec" };
    if (text.size() < 4)
        return std::nullopt;
    bool knownWeekday = false;
    for (auto weekday : weekdays)
        knownWeekday = knownWeekday || equalsIgnoringCase(text.substr(0, 3), weekday);
    std::size_t position = 3;
    if (!knownWeekday || !literal(text, position, ", "))
        return std::nullopt;
    auto day = number(text, position, 1, 2);
    if (!day || !literal(text, position, " ") || position + 3 > text.size())
        return std::nullopt;
    int month = 0;
    for (std::size_t index = 0; index < months.size(); ++index) {
        if (equalsIgnoringCase(text.substr(position, 3), months[index]))
            month = static_cast<int>(index) + 1;
    }
    position += 3;
    if (month == 0 || !literal(text, position, " "))
        return std::nullopt;
    auto year = number(text, position, 4, 4);
    if (!year || !literal(text, position, " "))
        return std::nullopt;
    auto hour = number(text, position, 2, 2);
    if (!hour || !literal(text, position, ":"))
        return std::nullopt;
    auto minute = number(text, position, 2, 2);
    if (!minute || !literal(text, position, ":"))
        return std::nullopt;
    auto second = number(text, position, 2, 2);
    if (!second || !literal(text, position, " "))
        return std::nullopt;
    auto zone = text.substr(position);
    if (!equalsIgnoringCase(zone, "GMT") && !equalsIgnoringCase(zone, "UTC") && !equalsIgnoringCase(zone, "UT"))
        return std::nullopt;

    static constexpr std::array<int, 12> monthLengths { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    int length = monthLengths[static_cast<std::size_t>(month - 1)] + (month == 2 && isLeapYear(*year) ? 1 : 0);
    if (*day < 1 || *day > length || *hour > 23 || *minute > 59 || *second > 60)
        return std::nullopt;
    auto days = daysFromCivil(*year, static_cast<unsigned>(month), static_cast<unsigned>(*day));
    return Platform::Date::fromWholeSecondsSince1970(days * 86'400 + *hour * 3'600 + *minute * 60 + *second);
}

bool FilesDeltaRequest::isValid() const
{
    // 2^63 is exactly representable; everything below it (after truncation) fits.
    return std::isfinite(lastTimeStamp) && std::trunc(lastTimeStamp) < 9'223'372'036'854'775'808.0
        && std::trunc(lastTimeStamp) >= -9'223'372'036'854'775'808.0;
}

std::vector<URLQueryItem> FilesDeltaRequest::queryItems() const
{
    auto seconds = isValid() ? static_cast<std::int64_t>(lastTimeStamp) : std::int64_t { 0 };
    return { { "last_sync", std::to_string(seconds) } };
}

std::expected<FilesDeltaRequest::SuccessValue, Reactive::AnyError> FilesDeltaRequest::parse(const DataResponse& response) const
{
    std::optional<Platform::Date> serverDate;
    if (auto header = response.response.value("Date"))
        serverDate = parseHTTPDate(*header);
    auto package = JSONDecoder::makeDefault().decode<SuccessValue>(response.data);
    if (!package)
        return std::unexpected(Reactive::AnyError(std::move(package.error())));
    package->setDeltaUpdateDate(serverDate);
    return std::move(*package);
}

std::string FilesDeltaRequest::deltaIdentifier() const
{
    return ValueDescription("FilesDeltaRequest").field("path", path()).field("lastTimeStamp", lastTimeStamp).text();
}

} // namespace Quarlink
