#pragma once

#include "Quarlink/Coding/JSONValueReader.hpp"

#include <cstdint>
#include <expected>
#include <initializer_list>

namespace Quarlink {

// The features an account may use, as a set of bits. A plain value.
class FeatureSet {
public:
    static const FeatureSet shouldShowAdvertising; // 1, "advertising"
    static const FeatureSet hasDocumentScanner;    // 2, "has_ocr"
    static const FeatureSet hasReminders;          // 4, "has_reminders"
    static const FeatureSet hasDocumentView;       // 8, "has_document_view"
    static const FeatureSet hasServerSearch;       // 16, "has_server_search"
    static const FeatureSet shouldUseDeltaRequest; // 32, "has_delta_request"

    constexpr FeatureSet() = default;
    constexpr explicit FeatureSet(std::int64_t rawValue)
        : m_rawValue(rawValue)
    {
    }
    constexpr FeatureSet(std::initializer_list<FeatureSet> members)
    {
        for (auto member : members)
            m_rawValue |= member.m_rawValue;
    }

    // A JSON object from feature keys to values: each key whose value is JSON
    // true and that names a feature exactly (case-sensitive) is in the set;
    // other keys and values that are not booleans are passed over. Anything but
    // an object fails.
    [[nodiscard]] static std::expected<FeatureSet, DecodingError> decode(const JSONValueReader& reader);

    [[nodiscard]] constexpr std::int64_t rawValue() const { return m_rawValue; }
    [[nodiscard]] constexpr bool isEmpty() const { return m_rawValue == 0; }
    [[nodiscard]] constexpr bool contains(FeatureSet member) const { return (m_rawValue & member.m_rawValue) == member.m_rawValue; }

    [[nodiscard]] constexpr FeatureSet unionWith(FeatureSet other) const { return FeatureSet(m_rawValue | other.m_rawValue); }
    [[nodiscard]] constexpr FeatureSet intersection(FeatureSet other) const { return FeatureSet(m_rawValue & other.m_rawValue); }
    [[nodiscard]] constexpr FeatureSet symmetricDifference(FeatureSet other) const { return FeatureSet(m_rawValue ^ other.m_rawValue); }
    [[nodiscard]] constexpr FeatureSet subtracting(FeatureSet other) const { return FeatureSet(m_rawValue & ~other.m_rawValue); }
    [[nodiscard]] constexpr bool isSubset(FeatureSet other) const { return other.contains(*this); }
    [[nodiscard]] constexpr bool isSuperset(FeatureSet other) const { return contains(other); }
    [[nodiscard]] constexpr bool isDisjoint(FeatureSet other) const { return intersection(other).isEmpty(); }

    // Whether `member` was missing before it was added.
    constexpr bool insert(FeatureSet member)
    {
        bool added = !contains(member);
        m_rawValue |= member.m_rawValue;
        return added;
    }
    // Whether any of `member` was there before it was removed.
    constexpr bool remove(FeatureSet member)
    {
        bool removed = !intersection(member).isEmpty();
        m_rawValue &= ~member.m_rawValue;
        return removed;
    }
    // Adds `member`; whether all of it was there already.
    constexpr bool update(FeatureSet member) { return !insert(member); }

    friend constexpr bool operator==(FeatureSet, FeatureSet) = default;

private:
    std::int64_t m_rawValue { 0 };
};

inline constexpr FeatureSet FeatureSet::shouldShowAdvertising { std::int64_t { 1 } };
inline constexpr FeatureSet FeatureSet::hasDocumentScanner { std::int64_t { 2 } };
inline constexpr FeatureSet FeatureSet::hasReminders { std::int64_t { 4 } };
inline constexpr FeatureSet FeatureSet::hasDocumentView { std::int64_t { 8 } };
inline constexpr FeatureSet FeatureSet::hasServerSearch { std::int64_t { 16 } };
inline constexpr FeatureSet FeatureSet::shouldUseDeltaRequest { std::int64_t { 32 } };

} // namespace Quarlink
