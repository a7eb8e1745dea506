#pragma once

#include "Platform/Database/DatabaseValue.hpp"

#include <string>
#include <vector>

namespace Platform {

// A filter over the rows of one object type: predicates joined by AND. Column
// names must be plain identifiers (letters, digits, "_"); values are always
// bound, never spliced into the SQL text.
class DatabaseQuery {
public:
    // Every row.
    static DatabaseQuery all();
    // `column` equals `value` (exact; text compares byte for byte, so case-sensitively).
    static DatabaseQuery equal(std::string column, DatabaseValue value);
    // The text `column` begins with `prefix`, byte for byte and case-sensitively.
    // Characters such as "%" and "_" have no special meaning. Runs as a range
    // query, so an index on the column serves it. Expects valid UTF-8 text.
    static DatabaseQuery hasPrefix(std::string column, std::string prefix);
    // `column` is one of `values` (integers or texts). Any number of values is
    // passed as one bound JSON array, never one variable per value.
    static DatabaseQuery isIn(std::string column, std::vector<DatabaseValue> values);

    // Both filters hold.
    DatabaseQuery operator&&(const DatabaseQuery& other) const;

    // The WHERE clause ("1" for every row) with "?" placeholders, and the
    // values to bind to them in order. Fails for a column that is not an identifier
    // or a membership value that is not an integer or a text.
    struct Compiled {
        std::string whereClause;
        std::vector<DatabaseValue> bindings;
    };
    bool isValid() const;
    Compiled compile() const;

private:
    enum class Kind { equal, prefix, membership };
    struct Predicate {
        Kind kind;
        std::string column;
        std::vector<DatabaseValue> values;
    };

    std::vector<Predicate> m_predicates;
};

// True when `name` can be used as a table or column name: [A-Za-z_][A-Za-z0-9_]*.
bool isDatabaseIdentifier(std::string_view name);

} // namespace Platform
