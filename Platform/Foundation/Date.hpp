#pragma once

#include <compare>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace Platform {

// An instant, as a signed count of nanoseconds since 1970-01-01 00:00:00 UTC
// (covers the years 1678 to 2262). Disk dates keep `st_mtim` exactly; the wire
// and stored records use whole seconds, cut toward zero. Comparison is exact:
// two dates one nanosecond apart are unequal. A plain value, freely shared.
class Date {
public:
    // 1970-01-01 00:00:00 UTC.
    constexpr Date() = default;

    [[nodiscard]] static Date now();
    [[nodiscard]] static constexpr Date fromNanosecondsSince1970(std::int64_t nanoseconds) { return Date(nanoseconds); }
    [[nodiscard]] static Date fromWholeSecondsSince1970(std::int64_t seconds);
    // Rounded to the nearest nanosecond; saturates outside the range.
    [[nodiscard]] static Date fromSecondsSince1970(double seconds);
    [[nodiscard]] static Date fromTimespec(const struct timespec& time);

    [[nodiscard]] constexpr std::int64_t nanosecondsSince1970() const { return m_nanoseconds; }
    // Seconds since 1970 with the fraction cut off toward zero (1.9 s gives 1,
    // -1.9 s gives -1), as records and the wire store dates.
    [[nodiscard]] constexpr std::int64_t wholeSecondsSince1970() const { return m_nanoseconds / 1'000'000'000; }
    [[nodiscard]] double timeIntervalSince1970() const;
    [[nodiscard]] struct timespec timespec() const;

    // This date moved by the given amount; saturates at the ends of the range.
    [[nodiscard]] Date addingNanoseconds(std::int64_t nanoseconds) const;
    [[nodiscard]] Date addingSeconds(double seconds) const;

    // "2026-12-09T06:25:11Z" (UTC, whole seconds cut toward the past), for logs and the wire.
    [[nodiscard]] std::string iso8601String() const;
    // Accepts "YYYY-MM-DDTHH:MM:SS" with an optional fraction and "Z" or "±HH:MM";
    // anything else gives no date.
    [[nodiscard]] static std::optional<Date> fromISO8601(std::string_view text);

    friend constexpr auto operator<=>(const Date&, const Date&) = default;

private:
    constexpr explicit Date(std::int64_t nanoseconds)
        : m_nanoseconds(nanoseconds)
    {
    }

    std::int64_t m_nanoseconds { 0 };
};

} // namespace Platform

template<>
struct std::hash<Platform::Date> {
    std::size_t operator()(const Platform::Date& date) const noexcept
    {
        return std::hash<std::int64_t>()(date.nanosecondsSince1970());
    }
};
