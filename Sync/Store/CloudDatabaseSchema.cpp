#include "Sync/Store/CloudDatabaseSchema.hpp"

#include <string_view>
#include <utility>

namespace Sync {

namespace {

struct EmbeddedScript {
    std::string_view name;
    std::string_view text;
};

// In file-name order, which is the run order.
constexpr EmbeddedScript embeddedScripts[] = {
#include "CloudDatabaseSchema.inc"
};

} // namespace

Platform::DatabaseSchema cloudDatabaseSchema()
{
    Platform::DatabaseSchema schema;
    schema.version = cloudDatabaseSchemaVersion;
    for (const auto& script : embeddedScripts)
        schema.scripts.emplace_back(script.text);
    return schema;
}

Platform::DatabaseConfiguration cloudDatabaseConfiguration(std::filesystem::path file)
{
    Platform::DatabaseConfiguration configuration;
    configuration.file = std::move(file);
    configuration.schema = cloudDatabaseSchema();
    return configuration;
}

} // namespace Sync
