#pragma once

#include "Platform/Database/Database.hpp"
#include "Platform/Foundation/KillPoint.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Sync/Store/StoreError.hpp"

#include <utility>

namespace Sync {

// A failure of `database` (nullptr when it could not be opened) as the stores report it, logged once.
[[nodiscard]] inline StoreError storeFailure(const Platform::Database* database, Platform::DatabaseError cause)
{
    StoreError error(database ? database->configuration().file.string() : std::string(), std::move(cause));
    Platform::Log::failure(error.description());
    return error;
}

// Runs `body()` (answering std::expected<void, DatabaseError>) in one write
// transaction of `database`; a failure is logged once.
template<class Body>
StoreResult<> storeWrite(Platform::Database& database, Body&& body)
{
    auto written = database.write([&] {
        auto result = body();
        Platform::killPoint("store-transaction");
        return result;
    });
    if (!written)
        return std::unexpected(storeFailure(&database, std::move(written.error())));
    return {};
}

// Opens a handle from `factory` and runs `body(Database&)` (answering
// std::expected<void, DatabaseError>) in one write transaction: committed
// when it succeeds, rolled back otherwise. Every failure is logged once.
template<class Body>
StoreResult<> storeWrite(const Platform::DatabaseFactory& factory, Body&& body)
{
    auto database = factory();
    if (!database)
        return std::unexpected(storeFailure(nullptr, std::move(database.error())));
    return storeWrite(*database, [&] { return body(*database); });
}

} // namespace Sync
