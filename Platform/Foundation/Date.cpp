#include "Platform/Foundation/Date.hpp"

#include <charconv>
#include <cmath>
#include <limits>

namespace Platform {

namespace {

constexpr std::int64_t nanosecondsPerSecond = 1'000'000'000;
constexpr auto minimum = std::numeric_limits<std::int64_t>::min();
constexpr auto maximum = std::numeric_limits<std::int64_t>::max();

std::int64_t saturatingNanoseconds(long double nanoseconds)
{
    if (std::isnan(nanoseconds))
        return 0;
    if (nanoseconds <= static_cast<long double>(minimum))
        return minimum;
    if (nanoseconds >= static_cast<long double>(maximum))
        return maximum;
    return static_cast<std::int64_t>(std::llround(nanoseconds));
}

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's algorithm).
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool readNumber(std::string_view text, std::size_t position, std::size_t digits, int& value)
{
    if (position + digits > text.size())
        return false;
    auto begin = text.data() + position;
    for (std::size_t index = 0; index < digits; ++index)
        if (begin[index] < '0' || begin[index] > '9')
            return false;
    auto [end, error] = std::from_chars(begin, begin + digits, value);
    return error == std::errc() && end == begin + digits;
}

} // namespace

Date Date::now()
{
    struct timespec time {};
    ::clock_gettime(CLOCK_REALTIME, &time);
    return fromTimespec(time);
}

Date Date::fromWholeSecondsSince1970(std::int64_t seconds)
{
    if (seconds > maximum / nanosecondsPerSecond)
        return Date(maximum);
    if (seconds < minimum / nanosecondsPerSecond)
        return Date(minimum);
    return Date(seconds * nanosecondsPerSecond);
}

Date Date::fromSecondsSince1970(double seconds)
{
    return Date(saturatingNanoseconds(static_cast<long double>(seconds) * nanosecondsPerSecond));
}

Date Date::fromTimespec(const struct timespec& time)
{
    return fromWholeSecondsSince1970(time.tv_sec).addingNanoseconds(time.tv_nsec);
}

double Date::timeIntervalSince1970() const
{
    // Split so that whole seconds stay exact even far from 1970.
    return static_cast<double>(m_nanoseconds / nanosecondsPerSecond)
        + static_cast<double>(m_nanoseconds % nanosecondsPerSecond) / nanosecondsPerSecond;
}

struct timespec Date::timespec() const
{
    std::int64_t seconds = m_nanoseconds / nanosecondsPerSecond;
    std::int64_t rest = m_nanoseconds % nanosecondsPerSecond;
    if (rest < 0) {
        seconds -= 1;
        rest += nanosecondsPerSecond;
    }
    struct timespec time {};
    time.tv_sec = static_cast<time_t>(seconds);
    time.tv_nsec = static_cast<long>(rest);
    return time;
}

Date Date::addingNanoseconds(std::int64_t nanoseconds) const
{
    std::int64_t result = 0;
    if (__builtin_add_overflow(m_nanoseconds, nanoseconds, &result))
        return Date(nanoseconds > 0 ? maximum : minimum);
    return Date(result);
}

Date Date::addingSeconds(double seconds) const
{
    return Date(saturatingNanoseconds(static_cast<long double>(m_nanoseconds)
        + static_cast<long double>(seconds) * nanosecondsPerSecond));
}

std::string Date::iso8601String() const
{
    time_t seconds = timespec().tv_sec;
    struct tm parts {};
    ::gmtime_r(&seconds, &parts);
    char buffer[64];
    std::size_t length = std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return std::string(buffer, length);
}

std::optional<Date> Date::fromISO8601(std::string_view text)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (text.size() < 20 || !readNumber(text, 0, 4, year) || text[4] != '-' || !readNumber(text, 5, 2, month)
        || text[7] != '-' || !readNumber(text, 8, 2, day) || text[10] != 'T' || !readNumber(text, 11, 2, hour)
        || text[13] != ':' || !readNumber(text, 14, 2, minute) || text[16] != ':' || !readNumber(text, 17, 2, second))
        return std::nullopt;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;

    std::size_t position = 19;
    std::int64_t fraction = 0;
    if (text[position] == '.') {
        ++position;
        std::int64_t scale = nanosecondsPerSecond / 10;
        std::size_t start = position;
        while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
            fraction += (text[position] - '0') * scale;
            scale /= 10;
            ++position;
        }
        if (position == start)
            return std::nullopt;
    }

    std::int64_t offsetSeconds = 0;
    std::string_view zone = text.substr(position);
    if (zone == "Z") {
    } else if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':') {
        int offsetHours = 0, offsetMinutes = 0;
        if (!readNumber(zone, 1, 2, offsetHours) || !readNumber(zone, 4, 2, offsetMinutes))
            return std::nullopt;
        offsetSeconds = (offsetHours * 3600 + offsetMinutes * 60) * (zone[0] == '+' ? 1 : -1);
    } else {
        return std::nullopt;
    }

    std::int64_t seconds = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * 86400
        + hour * 3600 + minute * 60 + second - offsetSeconds;
    return fromWholeSecondsSince1970(seconds).addingNanoseconds(fraction);
}

} // namespace Platform
