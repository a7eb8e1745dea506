#include "LocalCloud/Storage/ServiceDatabase.hpp"

#include "LocalCloud/Secrets/PasswordHash.hpp"

#include <chrono>

namespace LocalCloud {

namespace {

struct EmbeddedScript {
    std::string_view name;
    std::string_view text;
};

// In file-name order, which is the run order.
constexpr EmbeddedScript embeddedScripts[] = {
#include "ServiceDatabaseSchema.inc"
};

// Customer numbers start high, so that they never look like file identifiers in a log.
constexpr std::int64_t firstCustomerID = 123456789;

} // namespace

std::filesystem::path serviceDatabaseFile(const std::filesystem::path& dataFolder)
{
    return dataFolder / "localcloud.sqlite";
}

Platform::DatabaseConfiguration serviceDatabaseConfiguration(const std::filesystem::path& dataFolder)
{
    Platform::DatabaseConfiguration configuration;
    configuration.file = serviceDatabaseFile(dataFolder);
    configuration.schema.version = serviceDatabaseSchemaVersion;
    for (const auto& script : embeddedScripts)
        configuration.schema.scripts.emplace_back(script.text);
    return configuration;
}

std::expected<void, Platform::DatabaseError> storeAccount(Platform::Database& database, const std::string& login,
    const std::string& password, std::optional<std::int64_t> quotaBytes, std::int64_t iterations)
{
    auto hashed = PasswordHash::make(password, iterations);
    return database.write([&]() -> std::expected<void, Platform::DatabaseError> {
        auto existing = database.object<AccountRecord>(login);
        if (!existing)
            return std::unexpected(existing.error());
        AccountRecord account;
        if (*existing) {
            account = std::move(**existing);
        } else {
            auto counter = database.object<CounterRecord>(std::string("customer"));
            if (!counter)
                return std::unexpected(counter.error());
            CounterRecord next { "customer", *counter ? (*counter)->value + 1 : firstCustomerID };
            if (auto stored = database.add(next); !stored)
                return stored;
            account.login = login;
            account.customerID = next.value;
            account.quotaBytes = defaultQuotaBytes;
        }
        account.salt = hashed.salt;
        account.passwordHash = hashed.hash;
        account.iterations = hashed.iterations;
        if (quotaBytes)
            account.quotaBytes = *quotaBytes;
        return database.add(account);
    });
}

} // namespace LocalCloud
