#pragma once

#include "Quarlink/Coding/JSONValueReader.hpp"

#include <cstdint>
#include <expected>
#include <string>

namespace Quarlink {

// The customer who owns a share. A plain value without equality.
struct Owner {
    // "cid".
    std::int64_t cid { 0 };
    // "first_name".
    std::string firstName;
    // "last_name".
    std::string lastName;
    // "email".
    std::string email;

    // All four keys are required.
    [[nodiscard]] static std::expected<Owner, DecodingError> decode(const JSONValueReader& reader);

    // First and last name with one space between, as they are: the space stays when either is empty.
    [[nodiscard]] std::string name() const { return firstName + " " + lastName; }
};

} // namespace Quarlink
