#pragma once

#include "Quarlink/Account/FeatureSet.hpp"
#include "Quarlink/Account/Limits.hpp"
#include "Quarlink/Coding/JSONValueReader.hpp"

#include <cstdint>
#include <expected>
#include <string>

namespace Quarlink {

// What the service knows of the logged-in account. Read from the top level of
// the customer answer (no envelope). A plain value.
struct CustomerInfo {
    // "cid".
    std::int64_t cid { 0 };
    // "first_name".
    std::string firstName;
    // "last_name".
    std::string lastName;
    // "email".
    std::string email;
    // "root_file_id": the account's root folder.
    std::int64_t rootFolderID { 0 };
    // "features".
    FeatureSet features;
    // "main_product_short_name": the booked product.
    std::string product;
    // "limits".
    Limits limits;

    // All eight keys are required, read in field order; other keys are ignored.
    [[nodiscard]] static std::expected<CustomerInfo, DecodingError> decode(const JSONValueReader& reader);

    // "First Last"; one name alone when the other is empty; else the e-mail
    // address; else "Unbekannt". Only a name of no characters counts as empty.
    [[nodiscard]] std::string fullName() const;
};

} // namespace Quarlink
