#include "Quarlink/Account/FeatureSet.hpp"

#include <array>
#include <string_view>
#include <utility>

namespace Quarlink {

namespace {

const std::array<std::pair<std::string_view, FeatureSet>, 6>& featureKeys()
{
    static const std::array<std::pair<std::string_view, FeatureSet>, 6> keys { {
        { "advertising", FeatureSet::shouldShowAdvertising },
        { "has_ocr", FeatureSet::hasDocumentScanner },
        { "has_reminders", FeatureSet::hasReminders },
        { "has_document_view", FeatureSet::hasDocumentView },
        { "has_server_search", FeatureSet::hasServerSearch },
        { "has_delta_request", FeatureSet::shouldUseDeltaRequest },
    } };
    return keys;
}

} // namespace

std::expected<FeatureSet, DecodingError> FeatureSet::decode(const JSONValueReader& reader)
{
    if (!reader.json().is_object())
        return std::unexpected(reader.typeMismatch("an object of features"));
    FeatureSet features;
    for (const auto& [name, member] : featureKeys()) {
        auto value = reader.json().find(name);
        // A feature given as anything but a boolean counts as not given.
        if (value != reader.json().end() && value->is_boolean() && value->get<bool>())
            features.insert(member);
    }
    return features;
}

} // namespace Quarlink
