#include "Orvella/Popover/RowDateFormatter.hpp"

#include <ctime>

namespace Orvella {

namespace {

using Days = std::chrono::duration<std::int64_t, std::ratio<86400>>;

struct LocalTime {
    std::chrono::sys_days day;
    std::chrono::minutes minuteOfDay;
};

LocalTime localTime(Platform::Date date, const TimeZone& zone)
{
    // Whole seconds toward the past, so 23:59:59.9 stays on its day.
    const auto nanoseconds = date.nanosecondsSince1970();
    auto seconds = nanoseconds / 1'000'000'000;
    if (nanoseconds % 1'000'000'000 < 0) {
        --seconds;
    }
    const auto local = std::chrono::sys_seconds(std::chrono::seconds(seconds)) + zone.offset(date);
    const auto day = std::chrono::floor<std::chrono::days>(local);
    return { day, std::chrono::duration_cast<std::chrono::minutes>(local - day) };
}

// 0 to 99 as two digits.
std::string twoDigits(long value)
{
    return { static_cast<char>('0' + value / 10 % 10), static_cast<char>('0' + value % 10) };
}

} // namespace

TimeZone TimeZone::fixed(std::chrono::seconds offset)
{
    return TimeZone([offset](Platform::Date) { return offset; });
}

TimeZone TimeZone::local()
{
    return TimeZone([](Platform::Date date) {
        const std::time_t seconds = static_cast<std::time_t>(date.wholeSecondsSince1970());
        std::tm parts {};
        localtime_r(&seconds, &parts);
        return std::chrono::seconds(parts.tm_gmtoff);
    });
}

RowDateFormatter::RowDateFormatter(Clock clock, TimeZone zone)
    : m_clock(std::move(clock))
    , m_zone(std::move(zone))
{
}

RowDateFormatter::RowDateFormatter()
    : RowDateFormatter([] { return Platform::Date::now(); }, TimeZone::local())
{
}

std::string RowDateFormatter::string(Platform::Date date) const
{
    const auto when = localTime(date, m_zone);
    const auto today = localTime(m_clock(), m_zone).day;
    const auto clock = twoDigits(when.minuteOfDay.count() / 60) + ":" + twoDigits(when.minuteOfDay.count() % 60);
    switch ((when.day - today).count()) {
    case 0:
        return "Heute, " + clock;
    case -1:
        return "Gestern, " + clock;
    case -2:
        return "Vorgestern, " + clock;
    case 1:
        return "Morgen, " + clock;
    case 2:
        return "Übermorgen, " + clock;
    default:
        break;
    }
    const std::chrono::year_month_day civil(when.day);
    return twoDigits(static_cast<long>(static_cast<unsigned>(civil.day()))) + "."
        + twoDigits(static_cast<long>(static_cast<unsigned>(civil.month()))) + "."
        + twoDigits(static_cast<long>((static_cast<int>(civil.year()) % 100 + 100) % 100)) + ", " + clock;
}

} // namespace Orvella
