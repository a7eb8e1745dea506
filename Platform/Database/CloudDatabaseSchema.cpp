#include "Platform/Database/CloudDatabaseSchema.hpp"

#include <string_view>
#include <utility>

namespace Platform {

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

DatabaseSchema cloudDatabaseSchema()
{
    DatabaseSchema schema;
    schema.version = cloudDatabaseSchemaVersion;
    for (const auto& script : embeddedScripts)
        schema.scripts.emplace_back(script.text);
    return schema;
}

DatabaseConfiguration cloudDatabaseConfiguration(std::filesystem::path file)
{
    DatabaseConfiguration configuration;
    configuration.file = std::move(file);
    configuration.schema = cloudDatabaseSchema();
    return configuration;
}

} // namespace Platform
