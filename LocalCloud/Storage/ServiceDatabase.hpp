#pragma once

// The service's own SQLite file in its data folder: accounts, every account's
// tree and the identifier counters. Shared by the running service and the
// `localcloud add-user` command, which may write to it at the same time.

#include "Platform/Database/Database.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <tuple>

namespace LocalCloud {

struct AccountRecord {
    std::string login;
    std::string salt;
    std::string passwordHash;
    std::int64_t iterations = 0;
    std::int64_t quotaBytes = 0;
    std::int64_t customerID = 0;

    static constexpr std::string_view objectTypeName = "Account";
    static constexpr auto properties()
    {
        using Platform::DatabaseProperty;
        return std::tuple { DatabaseProperty { "login", &AccountRecord::login },
            DatabaseProperty { "salt", &AccountRecord::salt },
            DatabaseProperty { "passwordHash", &AccountRecord::passwordHash },
            DatabaseProperty { "iterations", &AccountRecord::iterations },
            DatabaseProperty { "quotaBytes", &AccountRecord::quotaBytes },
            DatabaseProperty { "customerID", &AccountRecord::customerID } };
    }
};

struct ItemRecord {
    std::int64_t id = 0;
    std::string account;
    std::int64_t parentID = 0;
    std::string name;
    std::int64_t isFolder = 0;
    // 1 listed; 0 announced, content not yet arrived.
    std::int64_t state = 1;
    std::int64_t size = 0;
    std::string hash;
    std::string mimeType;
    std::int64_t created = 0;
    std::int64_t modified = 0;
    std::int64_t changed = 0;
    std::string etag;
    std::int64_t shared = 0;
    std::int64_t publicValidTo = 0;
    std::int64_t privateShares = 0;
    std::int64_t allowPrivate = -1;
    std::int64_t allowPublic = -1;

    [[nodiscard]] bool folder() const { return isFolder != 0; }
    [[nodiscard]] bool listed() const { return state != 0; }

    static constexpr std::string_view objectTypeName = "Item";
    static constexpr auto properties()
    {
        using Platform::DatabaseProperty;
        return std::tuple { DatabaseProperty { "id", &ItemRecord::id },
            DatabaseProperty { "account", &ItemRecord::account },
            DatabaseProperty { "parentID", &ItemRecord::parentID }, DatabaseProperty { "name", &ItemRecord::name },
            DatabaseProperty { "isFolder", &ItemRecord::isFolder }, DatabaseProperty { "state", &ItemRecord::state },
            DatabaseProperty { "size", &ItemRecord::size }, DatabaseProperty { "hash", &ItemRecord::hash },
            DatabaseProperty { "mimeType", &ItemRecord::mimeType },
            DatabaseProperty { "created", &ItemRecord::created },
            DatabaseProperty { "modified", &ItemRecord::modified },
            DatabaseProperty { "changed", &ItemRecord::changed }, DatabaseProperty { "etag", &ItemRecord::etag },
            DatabaseProperty { "shared", &ItemRecord::shared },
            DatabaseProperty { "publicValidTo", &ItemRecord::publicValidTo },
            DatabaseProperty { "privateShares", &ItemRecord::privateShares },
            DatabaseProperty { "allowPrivate", &ItemRecord::allowPrivate },
            DatabaseProperty { "allowPublic", &ItemRecord::allowPublic } };
    }
};

struct CounterRecord {
    std::string name;
    std::int64_t value = 0;

    static constexpr std::string_view objectTypeName = "Counter";
    static constexpr auto properties()
    {
        using Platform::DatabaseProperty;
        return std::tuple { DatabaseProperty { "name", &CounterRecord::name },
            DatabaseProperty { "value", &CounterRecord::value } };
    }
};

struct ShareRecord {
    std::int64_t id = 0;
    std::string owner;
    std::int64_t fileID = 0;
    // "public" or "private".
    std::string type;
    std::string token;
    std::int64_t validTo = 0;
    std::string email;
    std::string message;
    std::string recipient;
    // 1 pending, 2 accepted, 0 declined.
    std::int64_t status = 1;
    std::int64_t targetParentID = 0;
    std::string targetName;

    [[nodiscard]] bool isPublic() const { return type == "public"; }

    static constexpr std::string_view objectTypeName = "Share";
    static constexpr auto properties()
    {
        using Platform::DatabaseProperty;
        return std::tuple { DatabaseProperty { "id", &ShareRecord::id }, DatabaseProperty { "owner", &ShareRecord::owner },
            DatabaseProperty { "fileID", &ShareRecord::fileID }, DatabaseProperty { "type", &ShareRecord::type },
            DatabaseProperty { "token", &ShareRecord::token }, DatabaseProperty { "validTo", &ShareRecord::validTo },
            DatabaseProperty { "email", &ShareRecord::email }, DatabaseProperty { "message", &ShareRecord::message },
            DatabaseProperty { "recipient", &ShareRecord::recipient },
            DatabaseProperty { "status", &ShareRecord::status },
            DatabaseProperty { "targetParentID", &ShareRecord::targetParentID },
            DatabaseProperty { "targetName", &ShareRecord::targetName } };
    }
};

struct CustomerRecord {
    std::string login;
    std::string firstName;
    std::string lastName;
    std::string email;
    std::int64_t features = 0;
    std::string product;
    std::int64_t mailTotalSize = 0;

    static constexpr std::string_view objectTypeName = "Customer";
    static constexpr auto properties()
    {
        using Platform::DatabaseProperty;
        return std::tuple { DatabaseProperty { "login", &CustomerRecord::login },
            DatabaseProperty { "firstName", &CustomerRecord::firstName },
            DatabaseProperty { "lastName", &CustomerRecord::lastName },
            DatabaseProperty { "email", &CustomerRecord::email },
            DatabaseProperty { "features", &CustomerRecord::features },
            DatabaseProperty { "product", &CustomerRecord::product },
            DatabaseProperty { "mailTotalSize", &CustomerRecord::mailTotalSize } };
    }
};

inline constexpr std::int64_t serviceDatabaseSchemaVersion = 1;
// Storage an account gets when `add-user` is not told otherwise: 10 GB.
inline constexpr std::int64_t defaultQuotaBytes = 10'000'000'000;

// The database file inside a data folder.
[[nodiscard]] std::filesystem::path serviceDatabaseFile(const std::filesystem::path& dataFolder);
[[nodiscard]] Platform::DatabaseConfiguration serviceDatabaseConfiguration(const std::filesystem::path& dataFolder);

// Adds the account `login` or replaces its password (and its quota, when
// given), in one transaction. A new account gets the next customer number.
[[nodiscard]] std::expected<void, Platform::DatabaseError> storeAccount(Platform::Database& database,
    const std::string& login, const std::string& password, std::optional<std::int64_t> quotaBytes,
    std::int64_t iterations);

} // namespace LocalCloud
