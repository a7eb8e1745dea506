#pragma once

// Quarlink/TalvernAPIClient/ResponseDecoding: how response bodies become typed
// values: the decoder defaults and the response envelope.

#include "Platform/Foundation/Date.hpp"
#include "Quarlink/Coding/JSONValueReader.hpp"
#include "Quarlink/Envelope/Quota.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/CodingKeys.hpp"

#include <optional>

namespace Quarlink {

// The metadata of a response envelope ("meta"): the account's quota, and the
// server time of a delta listing, which the delta request stamps in from the
// response's "Date" header (it is never read from JSON). A plain value.
class CloudMetaData {
public:
    using CodingKeys = CloudMetaDataCodingKeys;

    explicit CloudMetaData(std::optional<Quota> quota = std::nullopt, std::optional<Platform::Date> deltaUpdateDate = std::nullopt)
        : m_quota(std::move(quota))
        , m_deltaUpdateDate(std::move(deltaUpdateDate))
    {
    }

    // Reads "quota" when present and not null; other members are ignored.
    [[nodiscard]] static std::expected<CloudMetaData, DecodingError> decode(const JSONValueReader& reader);

    [[nodiscard]] const std::optional<Quota>& quota() const { return m_quota; }
    [[nodiscard]] const std::optional<Platform::Date>& deltaUpdateDate() const { return m_deltaUpdateDate; }
    void setDeltaUpdateDate(std::optional<Platform::Date> date) { m_deltaUpdateDate = std::move(date); }

private:
    std::optional<Quota> m_quota;
    std::optional<Platform::Date> m_deltaUpdateDate;
};

} // namespace Quarlink
