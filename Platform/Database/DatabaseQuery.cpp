#include "Platform/Database/DatabaseQuery.hpp"

#include <charconv>
#include <utility>

namespace Platform {

namespace {

void appendJSONString(std::string& out, const std::string& text)
{
    static constexpr char hexDigits[] = "0123456789abcdef";
    out += '"';
    for (unsigned char character : text) {
        switch (character) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (character < 0x20) {
                out += "\\u00";
                out += hexDigits[character >> 4];
                out += hexDigits[character & 0xF];
            } else {
                out += static_cast<char>(character);
            }
        }
    }
    out += '"';
}

// Integers and texts only: JSON has no bytes, and doubles would need a
// locale-independent round trip nobody asks for.
std::string jsonArray(const std::vector<DatabaseValue>& values)
{
    std::string out = "[";
    for (const auto& value : values) {
        if (out.size() > 1)
            out += ',';
        if (const auto* integer = std::get_if<std::int64_t>(&value)) {
            char buffer[24];
            auto result = std::to_chars(buffer, buffer + sizeof buffer, *integer);
            out.append(buffer, result.ptr);
        } else {
            appendJSONString(out, std::get<std::string>(value));
        }
    }
    out += ']';
    return out;
}

std::string quoted(const std::string& column)
{
    return '"' + column + '"';
}

} // namespace

bool isDatabaseIdentifier(std::string_view name)
{
    if (name.empty())
        return false;
    for (std::size_t index = 0; index < name.size(); ++index) {
        char c = name[index];
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        bool digit = c >= '0' && c <= '9';
        if (!letter && !(digit && index > 0))
            return false;
    }
    return true;
}

DatabaseQuery DatabaseQuery::all()
{
    return {};
}

DatabaseQuery DatabaseQuery::equal(std::string column, DatabaseValue value)
{
    DatabaseQuery query;
    query.m_predicates.push_back({Kind::equal, std::move(column), {std::move(value)}});
    return query;
}

DatabaseQuery DatabaseQuery::hasPrefix(std::string column, std::string prefix)
{
    DatabaseQuery query;
    query.m_predicates.push_back({Kind::prefix, std::move(column), {std::move(prefix)}});
    return query;
}

DatabaseQuery DatabaseQuery::isIn(std::string column, std::vector<DatabaseValue> values)
{
    DatabaseQuery query;
    query.m_predicates.push_back({Kind::membership, std::move(column), std::move(values)});
    return query;
}

DatabaseQuery DatabaseQuery::operator&&(const DatabaseQuery& other) const
{
    DatabaseQuery combined = *this;
    combined.m_predicates.insert(combined.m_predicates.end(), other.m_predicates.begin(), other.m_predicates.end());
    return combined;
}

bool DatabaseQuery::isValid() const
{
    for (const auto& predicate : m_predicates) {
        if (!isDatabaseIdentifier(predicate.column))
            return false;
        if (predicate.kind == Kind::membership) {
            for (const auto& value : predicate.values) {
                if (!std::holds_alternative<std::int64_t>(value) && !std::holds_alternative<std::string>(value))
                    return false;
            }
        }
    }
    return true;
}

DatabaseQuery::Compiled DatabaseQuery::compile() const
{
    Compiled compiled;
    for (const auto& predicate : m_predicates) {
        if (!compiled.whereClause.empty())
            compiled.whereClause += " AND ";
        switch (predicate.kind) {
        case Kind::equal:
            compiled.whereClause += quoted(predicate.column) + " = ?";
            compiled.bindings.push_back(predicate.values.front());
            break;
        case Kind::prefix: {
            // Every valid UTF-8 text that begins with the prefix sorts at or
            // after it and before prefix + 0xFF (a byte UTF-8 never contains),
            // and no other text falls in between: a case-sensitive prefix test
            // without LIKE and its wildcards, served by the column's index.
            const auto& prefix = std::get<std::string>(predicate.values.front());
            compiled.whereClause += "(" + quoted(predicate.column) + " >= ? AND " + quoted(predicate.column) + " < ?)";
            compiled.bindings.push_back(prefix);
            compiled.bindings.push_back(prefix + '\xFF');
            break;
        }
        case Kind::membership:
            compiled.whereClause += quoted(predicate.column) + " IN (SELECT value FROM json_each(?))";
            compiled.bindings.push_back(jsonArray(predicate.values));
            break;
        }
    }
    if (compiled.whereClause.empty())
        compiled.whereClause = "1";
    return compiled;
}

} // namespace Platform
