#pragma once

#include "Quarlink/Coding/JSONElementStream.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/CloudMetaData.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/CodingKeys.hpp"

#include <concepts>
#include <expected>
#include <optional>
#include <type_traits>
#include <string>
#include <utility>
#include <vector>

namespace Quarlink {

// A response envelope: a payload and its metadata (`payload()`, `metaData()`).
template<class Package>
concept MetaPackageType = requires(const Package& package) {
    typename Package::Payload;
    { package.payload() } -> std::convertible_to<const typename Package::Payload&>;
    package.metaData();
};

// An envelope that offers the account's quota and a delta listing's time.
template<class Package>
concept CloudMetaPackageType = MetaPackageType<Package> && requires(const Package& package) {
    { package.quota() } -> std::convertible_to<std::optional<Quota>>;
    { package.deltaUpdateDate() } -> std::convertible_to<std::optional<Platform::Date>>;
};

template<class T>
struct IsPayloadList : std::false_type { };
template<class U>
struct IsPayloadList<std::vector<U>> : std::true_type { };

// The envelope most responses come in: {"data": payload, "meta": {"quota": {...}}},
// where "meta" and "quota" may be missing or null. Only ever received. A plain
// value; copying copies the payload.
template<class PayloadType>
class CloudMetaPackage {
public:
    using Payload = PayloadType;
    using CodingKeys = CloudMetaPackageCodingKeys;

    // A package whose metadata is present and holds `quota` (which may be absent).
    CloudMetaPackage(std::optional<Quota> quota, Payload payload)
        : m_payload(std::move(payload))
        , m_metaData(CloudMetaData(std::move(quota)))
    {
    }

    // "data" is required and decoded as the payload; "meta" is decoded only when
    // present and not null, and a "meta" that does not decode fails the package.
    [[nodiscard]] static std::expected<CloudMetaPackage, DecodingError> decode(const JSONValueReader& reader)
    {
        auto object = reader.object();
        if (!object)
            return std::unexpected(object.error());
        constexpr auto dataKey = CodingKeys(CodingKeys::Case::payload).stringValue();
        constexpr auto metaKey = CodingKeys(CodingKeys::Case::metaData).stringValue();
        auto payload = object->template decode<Payload>(dataKey);
        if (!payload)
            return std::unexpected(payload.error());
        auto metaData = object->template decodeIfPresent<CloudMetaData>(metaKey);
        if (!metaData)
            return std::unexpected(metaData.error());
        return CloudMetaPackage(Decoded {}, std::move(*payload), std::move(*metaData));
    }

    // The same as `decode` on the parsed text, for a list payload: each element
    // of "data" is decoded as soon as the parser has read it, so the whole
    // document never exists as a tree. Errors are those `decode` gives: a
    // malformed document first, then the first element that fails, then "meta".
    [[nodiscard]] static std::expected<CloudMetaPackage, DecodingError> decodeDocument(std::string_view text, DateDecodingStrategy strategy)
        requires IsPayloadList<Payload>::value
    {
        constexpr auto dataKey = CodingKeys(CodingKeys::Case::payload).stringValue();
        constexpr auto metaKey = CodingKeys(CodingKeys::Case::metaData).stringValue();
        Payload elements;
        std::optional<DecodingError> failure;
        bool streamed = false;
        auto document = parseStreamingElements(text, dataKey, [&](JSON&& element, std::size_t index) {
            if (index == 0) {
                // A repeated key replaces the list, as it does in a parsed tree.
                elements.clear();
                failure.reset();
            }
            streamed = true;
            if (failure)
                return;
            JSONValueReader reader(element, strategy, { std::string(dataKey), "Index " + std::to_string(index) });
            auto value = reader.template decode<typename Payload::value_type>();
            if (!value)
                failure = std::move(value.error());
            else
                elements.push_back(std::move(*value));
        });
        if (!document)
            return std::unexpected(document.error());

        JSONValueReader reader(*document, strategy);
        auto object = reader.object();
        if (!object)
            return std::unexpected(object.error());
        auto data = object->member(dataKey);
        if (!data)
            return std::unexpected(object->keyNotFound(dataKey));
        // An empty list in the document is either the streamed one or really empty.
        if (!data->json().is_array()) {
            auto payload = data->template decode<Payload>();
            if (!payload)
                return std::unexpected(payload.error());
            elements = std::move(*payload);
        } else if (failure) {
            return std::unexpected(std::move(*failure));
        } else if (!streamed) {
            elements.clear();
        }
        auto metaData = object->template decodeIfPresent<CloudMetaData>(metaKey);
        if (!metaData)
            return std::unexpected(metaData.error());
        return CloudMetaPackage(Decoded {}, std::move(elements), std::move(*metaData));
    }

    [[nodiscard]] const Payload& payload() const& { return m_payload; }
    [[nodiscard]] Payload payload() && { return std::move(m_payload); }
    [[nodiscard]] const std::optional<CloudMetaData>& metaData() const { return m_metaData; }
    void setMetaData(std::optional<CloudMetaData> metaData) { m_metaData = std::move(metaData); }

    // The metadata's quota; absent without metadata.
    [[nodiscard]] std::optional<Quota> quota() const { return m_metaData ? m_metaData->quota() : std::nullopt; }
    [[nodiscard]] std::optional<Platform::Date> deltaUpdateDate() const
    {
        return m_metaData ? m_metaData->deltaUpdateDate() : std::nullopt;
    }
    // Replaces the metadata's date; without metadata nothing happens (none is created).
    void setDeltaUpdateDate(std::optional<Platform::Date> date)
    {
        if (m_metaData)
            m_metaData->setDeltaUpdateDate(std::move(date));
    }

    // A package of the transformed payload with this package's quota and no
    // date. For a transform returning std::expected, its failure is returned
    // unchanged and nothing is built.
    template<class Transform>
    [[nodiscard]] auto map(Transform&& transform) const
    {
        using Result = std::invoke_result_t<Transform, const Payload&>;
        if constexpr (IsExpected<Result>::value) {
            using Mapped = CloudMetaPackage<typename Result::value_type>;
            using Outcome = std::expected<Mapped, typename Result::error_type>;
            auto mapped = std::forward<Transform>(transform)(m_payload);
            if (!mapped)
                return Outcome(std::unexpect, std::move(mapped.error()));
            return Outcome(Mapped(quota(), std::move(*mapped)));
        } else {
            return CloudMetaPackage<Result>(quota(), std::forward<Transform>(transform)(m_payload));
        }
    }

private:
    template<class T>
    struct IsExpected : std::false_type { };
    template<class T, class E>
    struct IsExpected<std::expected<T, E>> : std::true_type { };

    struct Decoded { };

    CloudMetaPackage(Decoded, Payload payload, std::optional<CloudMetaData> metaData)
        : m_payload(std::move(payload))
        , m_metaData(std::move(metaData))
    {
    }

    Payload m_payload;
    std::optional<CloudMetaData> m_metaData;
};

} // namespace Quarlink
