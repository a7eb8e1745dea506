#pragma once

#include "Platform/Database/DatabaseValue.hpp"

#include <concepts>
#include <string_view>
#include <tuple>
#include <vector>

namespace Platform {

// One stored property of an object type: its column name and the member that holds it.
template <class Object, class Member>
struct DatabaseProperty {
    std::string_view name;
    Member Object::*member;
};

template <class Object, class Member>
DatabaseProperty(std::string_view, Member Object::*) -> DatabaseProperty<Object, Member>;

// An object type stored as the rows of one table. The type names its table
// and lists its properties; the first property is the primary key. Members are
// `std::int64_t`, `double`, `std::string` or `DatabaseBlob`.
//
//     struct FileStatus {
//         std::string filePath;
//         std::int64_t status = 0;
//         static constexpr std::string_view objectTypeName = "FileStatus";
//         static constexpr auto properties()
//         {
//             return std::tuple{DatabaseProperty{"filePath", &FileStatus::filePath},
//                 DatabaseProperty{"status", &FileStatus::status}};
//         }
//     };
template <class T>
concept DatabaseObject = std::default_initializable<T> && requires {
    { T::objectTypeName } -> std::convertible_to<std::string_view>;
    std::tuple_size<decltype(T::properties())>::value;
} && (std::tuple_size_v<decltype(T::properties())> > 0);

namespace DatabaseObjectAccess {

template <DatabaseObject T>
std::vector<std::string_view> columnNames()
{
    std::vector<std::string_view> names;
    std::apply([&](const auto&... property) { (names.push_back(property.name), ...); }, T::properties());
    return names;
}

template <DatabaseObject T>
std::string_view primaryKeyName()
{
    return std::get<0>(T::properties()).name;
}

template <DatabaseObject T>
std::vector<DatabaseValue> values(const T& object)
{
    std::vector<DatabaseValue> values;
    std::apply([&](const auto&... property) { (values.emplace_back(object.*(property.member)), ...); },
        T::properties());
    return values;
}

// Reads the columns of `row`, selected in property order, into a new object.
template <DatabaseObject T, class Row>
T read(const Row& row)
{
    T object;
    int column = 0;
    std::apply([&](const auto&... property) { (row.read(column++, object.*(property.member)), ...); },
        T::properties());
    return object;
}

} // namespace DatabaseObjectAccess

} // namespace Platform
