#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace Quarlink {

// The keys of one decoded record: each case stands for exactly one JSON key.
// A key is made from a string only when it equals one of the record's JSON
// keys (case-sensitive); no key is made from an integer. `Table` supplies
// `Case`, `keys` (case and JSON key, in order) and nothing else.
template<class Table>
class CodingKeys {
public:
    using Case = typename Table::Case;

    explicit constexpr CodingKeys(Case keyCase)
        : m_case(keyCase)
    {
    }

    [[nodiscard]] static constexpr std::optional<CodingKeys> fromStringValue(std::string_view text)
    {
        for (const auto& [keyCase, name] : Table::keys) {
            if (name == text)
                return CodingKeys(keyCase);
        }
        return std::nullopt;
    }
    [[nodiscard]] static constexpr std::optional<CodingKeys> fromIntValue(int) { return std::nullopt; }

    [[nodiscard]] constexpr Case keyCase() const { return m_case; }
    [[nodiscard]] constexpr std::string_view stringValue() const
    {
        for (const auto& [keyCase, name] : Table::keys) {
            if (keyCase == m_case)
                return name;
        }
        return {};
    }
    [[nodiscard]] constexpr std::optional<int> intValue() const { return std::nullopt; }

    // CodingKeys(stringValue: "quota", intValue: nil): how decoding errors name the key.
    [[nodiscard]] std::string description() const
    {
        return "CodingKeys(stringValue: \"" + std::string(stringValue()) + "\", intValue: nil)";
    }
    [[nodiscard]] std::string debugDescription() const { return description(); }

    friend constexpr bool operator==(CodingKeys, CodingKeys) = default;

private:
    Case m_case;
};

// The envelope's keys: the payload under "data", the metadata under "meta".
struct CloudMetaPackageKeyTable {
    enum class Case { payload, metaData };
    static constexpr std::array<std::pair<Case, std::string_view>, 2> keys { { { Case::payload, "data" }, { Case::metaData, "meta" } } };
};
using CloudMetaPackageCodingKeys = CodingKeys<CloudMetaPackageKeyTable>;

// The metadata's one key: the quota under "quota".
struct CloudMetaDataKeyTable {
    enum class Case { quota };
    static constexpr std::array<std::pair<Case, std::string_view>, 1> keys { { { Case::quota, "quota" } } };
};
using CloudMetaDataCodingKeys = CodingKeys<CloudMetaDataKeyTable>;

} // namespace Quarlink
