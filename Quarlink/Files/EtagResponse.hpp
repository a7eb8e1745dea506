#pragma once

#include "Quarlink/Coding/JSONValueReader.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/CodingKeys.hpp"

#include <array>
#include <cstdint>
#include <expected>
#include <functional>
#include <string>

namespace Quarlink {

struct EtagResponseKeyTable {
    enum class Case { fileID, etag };
    static constexpr std::array<std::pair<Case, std::string_view>, 2> keys { { { Case::fileID, "id" }, { Case::etag, "etag" } } };
};

// The identifier and version tag of one file or folder, read from the file
// object the service answers with (its other keys are ignored). A plain value.
struct EtagResponse {
    using CodingKeys = Quarlink::CodingKeys<EtagResponseKeyTable>;

    std::int64_t fileID { 0 };
    std::string etag;

    // Reads "id", then "etag"; both required.
    [[nodiscard]] static std::expected<EtagResponse, DecodingError> decode(const JSONValueReader& reader);

    // "Etag(fileID: 7, etag: abc)".
    [[nodiscard]] std::string debugDescription() const;

    friend bool operator==(const EtagResponse&, const EtagResponse&) = default;
};

} // namespace Quarlink

template<>
struct std::hash<Quarlink::EtagResponse> {
    std::size_t operator()(const Quarlink::EtagResponse& response) const noexcept
    {
        auto seed = std::hash<std::int64_t>()(response.fileID);
        return seed ^ (std::hash<std::string>()(response.etag) + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2));
    }
};
