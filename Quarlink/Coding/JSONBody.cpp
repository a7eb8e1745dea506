#include "Quarlink/Coding/JSONBody.hpp"

namespace Quarlink {

void prepareBodyEncoder(JSONEncoder& encoder)
{
    encoder.setKeyEncodingStrategy(KeyEncodingStrategy::convertToSnakeCase);
    encoder.setDateEncodingStrategy(DateEncodingStrategy::wholeSecondsSince1970);
}

JSONEncoder makeBodyEncoder()
{
    JSONEncoder encoder;
    prepareBodyEncoder(encoder);
    return encoder;
}

std::optional<Platform::Data> jsonParametersBody(const OrderedJSON& parameters)
{
    if (!parameters.is_object() || parameters.empty())
        return std::nullopt;
    auto body = JSONEncoder::serialize(parameters);
    if (!body)
        return std::nullopt;
    return std::move(*body);
}

} // namespace Quarlink
