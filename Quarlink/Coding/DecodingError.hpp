#pragma once

// Quarlink/Coding: JSON on the wire, read strictly and written in one fixed
// form, on top of nlohmann-json.

#include "Reactive/AnyError.hpp"

#include <string>
#include <vector>

namespace Quarlink {

// Why a JSON document could not be read as the value asked for. `codingPath`
// names the keys (and "Index N" for array elements) leading to the failing
// value. Not presentable: a decoding failure reaches the user through the
// generic texts of `AnyError`.
class DecodingError final : public Reactive::Error {
public:
    enum class Kind {
        // The value has another JSON type than the one asked for (a float for an integer, ...).
        typeMismatch,
        // A required value is null.
        valueNotFound,
        // A required key is missing.
        keyNotFound,
        // The bytes are no JSON, or a value is out of range.
        dataCorrupted,
    };

    DecodingError(Kind kind, std::vector<std::string> codingPath, std::string debugDescription);

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] const std::vector<std::string>& codingPath() const { return m_codingPath; }
    [[nodiscard]] const std::string& debugDescription() const { return m_debugDescription; }
    // The coding path joined by ".", empty at the top level.
    [[nodiscard]] std::string codingPathString() const;

    [[nodiscard]] std::string description() const override;

    friend bool operator==(const DecodingError& left, const DecodingError& right)
    {
        return left.m_kind == right.m_kind && left.m_codingPath == right.m_codingPath
            && left.m_debugDescription == right.m_debugDescription;
    }

private:
    Kind m_kind;
    std::vector<std::string> m_codingPath;
    std::string m_debugDescription;
};

// Why a value could not be written as JSON: a text that is not valid UTF-8, a
// number that is not finite. The caller of a body encoder turns it into "no body".
class EncodingError final : public Reactive::Error {
public:
    EncodingError(std::vector<std::string> codingPath, std::string debugDescription);

    [[nodiscard]] const std::vector<std::string>& codingPath() const { return m_codingPath; }
    [[nodiscard]] const std::string& debugDescription() const { return m_debugDescription; }
    [[nodiscard]] std::string description() const override;

private:
    std::vector<std::string> m_codingPath;
    std::string m_debugDescription;
};

} // namespace Quarlink
