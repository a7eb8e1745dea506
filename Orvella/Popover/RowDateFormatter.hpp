#pragma once

#include "Platform/Foundation/Date.hpp"

#include <chrono>
#include <functional>
#include <string>

namespace Orvella {

// The offset from UTC that a time zone has at an instant.
class TimeZone {
public:
    using Offset = std::function<std::chrono::seconds(Platform::Date)>;

    explicit TimeZone(Offset offset) : m_offset(std::move(offset)) {}

    // A zone that is always `offset` ahead of UTC.
    [[nodiscard]] static TimeZone fixed(std::chrono::seconds offset);
    // The process's zone (TZ, /etc/localtime), daylight saving time included.
    [[nodiscard]] static TimeZone local();

    [[nodiscard]] std::chrono::seconds offset(Platform::Date date) const { return m_offset(date); }

private:
    Offset m_offset;
};

// The date line of a file row, relative to today in `zone`: "Heute, 14:05",
// "Gestern, …", "Vorgestern, …", "Morgen, …", "Übermorgen, …", and
// "24.12.26, 18:30" for every other day. Days are calendar days of `zone`.
// Reads `clock` at each call; thread-safe when `clock` and the zone are.
class RowDateFormatter {
public:
    using Clock = std::function<Platform::Date()>;

    RowDateFormatter(Clock clock, TimeZone zone);
    // The system clock in the process's zone.
    RowDateFormatter();

    [[nodiscard]] std::string string(Platform::Date date) const;

private:
    Clock m_clock;
    TimeZone m_zone;
};

} // namespace Orvella
