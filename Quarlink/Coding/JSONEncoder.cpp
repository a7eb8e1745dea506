#include "Quarlink/Coding/JSONEncoder.hpp"

#include "Quarlink/Coding/SnakeCaseKey.hpp"
#include "Quarlink/Coding/TextEncoding.hpp"

namespace Quarlink {

namespace {

// Seconds between 1970-01-01 and 2001-01-01.
constexpr double referenceDateOffset = 978'307'200.0;

void fail(Detail::EncodingContext& context, const std::vector<std::string>& path, std::string description)
{
    if (!context.failure)
        context.failure.emplace(path, std::move(description));
}

} // namespace

OrderedJSON Detail::encodeString(std::string_view text, EncodingContext& context, const std::vector<std::string>& path)
{
    if (!isValidUTF8(text)) {
        fail(context, path, "Text is not valid UTF-8.");
        return nullptr;
    }
    return std::string(text);
}

OrderedJSON Detail::encodeDouble(double value, EncodingContext& context, const std::vector<std::string>& path)
{
    if (!std::isfinite(value)) {
        fail(context, path, "Unable to encode a number that is not finite.");
        return nullptr;
    }
    return value;
}

OrderedJSON Detail::encodeDate(const Platform::Date& date, const EncodingContext& context)
{
    if (context.dateStrategy == DateEncodingStrategy::wholeSecondsSince1970)
        return date.wholeSecondsSince1970();
    return date.timeIntervalSince1970() - referenceDateOffset;
}

std::string JSONObjectWriter::wireName(std::string_view key) const
{
    if (m_context->keyStrategy == KeyEncodingStrategy::convertToSnakeCase)
        return snakeCaseKey(key);
    return std::string(key);
}

std::expected<Platform::Data, EncodingError> JSONEncoder::serialize(const JSON& tree)
{
    return serialize(OrderedJSON(tree));
}

std::expected<Platform::Data, EncodingError> JSONEncoder::serialize(const OrderedJSON& tree)
{
    try {
        // Compact output; nlohmann writes numbers with its own locale-independent
        // formatting and refuses strings that are not valid UTF-8.
        return Platform::Data::fromString(tree.dump());
    } catch (const OrderedJSON::exception& error) {
        return std::unexpected(EncodingError({}, error.what()));
    }
}

} // namespace Quarlink
