#include "Quarlink/Coding/DecodingError.hpp"

namespace Quarlink {

namespace {

std::string joined(const std::vector<std::string>& path)
{
    std::string text;
    for (const auto& key : path) {
        if (!text.empty())
            text += '.';
        text += key;
    }
    return text;
}

const char* kindName(DecodingError::Kind kind)
{
    switch (kind) {
    case DecodingError::Kind::typeMismatch:
        return "typeMismatch";
    case DecodingError::Kind::valueNotFound:
        return "valueNotFound";
    case DecodingError::Kind::keyNotFound:
        return "keyNotFound";
    case DecodingError::Kind::dataCorrupted:
        return "dataCorrupted";
    }
    return "dataCorrupted";
}

} // namespace

DecodingError::DecodingError(Kind kind, std::vector<std::string> codingPath, std::string debugDescription)
    : m_kind(kind)
    , m_codingPath(std::move(codingPath))
    , m_debugDescription(std::move(debugDescription))
{
}

std::string DecodingError::codingPathString() const
{
    return joined(m_codingPath);
}

std::string DecodingError::description() const
{
    return std::string("DecodingError.") + kindName(m_kind) + " at \"" + codingPathString() + "\": " + m_debugDescription;
}

EncodingError::EncodingError(std::vector<std::string> codingPath, std::string debugDescription)
    : m_codingPath(std::move(codingPath))
    , m_debugDescription(std::move(debugDescription))
{
}

std::string EncodingError::description() const
{
    return "EncodingError.invalidValue at \"" + joined(m_codingPath) + "\": " + m_debugDescription;
}

} // namespace Quarlink
