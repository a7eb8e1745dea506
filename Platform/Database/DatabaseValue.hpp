#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace Platform {

// The bytes of a BLOB column.
using DatabaseBlob = std::vector<std::uint8_t>;

// One value bound to a statement or compared in a query. Tables are STRICT and
// NOT NULL, so there is no null.
using DatabaseValue = std::variant<std::int64_t, double, std::string, DatabaseBlob>;

} // namespace Platform
