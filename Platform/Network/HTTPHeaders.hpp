#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace Platform {

// An ordered list of HTTP header fields. Names keep the spelling they were
// added with; every lookup compares names without regard to ASCII case, as
// HTTP requires. A value type: copies are independent, no synchronisation.
class HTTPHeaders {
public:
    using Field = std::pair<std::string, std::string>;

    HTTPHeaders() = default;
    HTTPHeaders(std::initializer_list<Field> fields);

    // Appends a field, keeping earlier fields of the same name.
    void add(std::string name, std::string value);
    // Replaces every field of that name by one field with this value.
    void set(std::string name, std::string value);
    // Removes every field of that name; returns how many were removed.
    std::size_t remove(std::string_view name);

    // The first field of that name, if any.
    [[nodiscard]] std::optional<std::string> value(std::string_view name) const;
    // Every value of that name, in order.
    [[nodiscard]] std::vector<std::string> values(std::string_view name) const;
    [[nodiscard]] bool contains(std::string_view name) const;

    [[nodiscard]] const std::vector<Field>& fields() const { return m_fields; }
    [[nodiscard]] bool empty() const { return m_fields.empty(); }
    void clear() { m_fields.clear(); }

    [[nodiscard]] static bool namesEqual(std::string_view left, std::string_view right);

private:
    std::vector<Field> m_fields;
};

} // namespace Platform
