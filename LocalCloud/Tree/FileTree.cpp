// Opening the tree: the mirror loaded from the database, contents an earlier
// run left half placed finished, damaged ones noted; and its checkpoint.

#include "LocalCloud/Tree/FileTree.hpp"

#include <iostream>

namespace LocalCloud {

std::expected<std::unique_ptr<FileTree>, std::string> FileTree::open(const std::filesystem::path& dataFolder,
    ServiceClock clock)
{
    auto database = Platform::Database::open(serviceDatabaseConfiguration(dataFolder));
    if (!database)
        return std::unexpected("cannot open the service database: " + database.error().message());
    std::unique_ptr<FileTree> tree(new FileTree(dataFolder / "content", std::move(*database), std::move(clock)));
    if (auto loaded = tree->load(); !loaded)
        return std::unexpected(loaded.error());
    return tree;
}

FileTree::FileTree(std::filesystem::path contentFolder, Platform::Database database, ServiceClock clock)
    : m_contents(std::move(contentFolder))
    , m_database(std::move(database))
    , m_random(std::random_device {}())
    , m_clock(std::move(clock))
{
}

std::expected<void, std::string> FileTree::load()
{
    m_contents.removeTemporaries();
    std::vector<ItemRecord> records;
    auto read = m_database.forEachObject<ItemRecord>(Platform::DatabaseQuery::all(),
        [&](ItemRecord record) { records.push_back(std::move(record)); });
    if (!read)
        return std::unexpected("cannot read the trees: " + read.error().message());
    for (auto& record : records) {
        m_lastIdentifier = std::max(m_lastIdentifier, record.id);
        auto identifier = record.id;
        m_nodes[identifier].record = std::move(record);
    }
    // Parents first would need an order the table does not keep; attaching after all are loaded needs none.
    for (const auto& [identifier, node] : m_nodes)
        attach(node.record);
    finishStoredContents();
    checkStoredContents();
    auto counter = m_database.object<CounterRecord>(std::string("item"));
    if (!counter)
        return std::unexpected("cannot read the identifier counter: " + counter.error().message());
    if (*counter)
        m_lastIdentifier = std::max(m_lastIdentifier, (*counter)->value);
    return {};
}

std::filesystem::path FileTree::contentPath(std::int64_t identifier) const
{
    return m_contents.contentPath(identifier);
}

void FileTree::finishStoredContents()
{
    // New content that an earlier run had not yet put in place: it is the
    // file's when the database names it, and nobody's otherwise.
    m_contents.finishWaiting([this](std::int64_t identifier) -> std::optional<ContentFiles::Recorded> {
        auto node = m_nodes.find(identifier);
        if (node == m_nodes.end() || !node->second.record.listed() || node->second.record.folder())
            return std::nullopt;
        return ContentFiles::Recorded { node->second.record.size, node->second.record.hash };
    });
}

void FileTree::checkStoredContents()
{
    // Hashing is what finds a file of the right size that holds zeros; above
    // this size the start would take too long for it.
    constexpr std::int64_t hashLimit = 16 * 1024 * 1024;
    for (const auto& [identifier, node] : m_nodes) {
        if (!node.record.listed() || node.record.folder())
            continue;
        auto damage = m_contents.damage(identifier, { node.record.size, node.record.hash }, hashLimit);
        if (!damage)
            continue;
        std::cerr << "❗️ LocalCloud: file " << identifier << " of " << node.record.account << " is damaged: " << *damage
                  << "; its content is not served until it is uploaded again\n";
        m_damaged.emplace(identifier, std::move(*damage));
    }
}

std::filesystem::path FileTree::temporaryContentPath()
{
    std::lock_guard lock(m_mutex);
    return m_contents.temporaryPath(m_random());
}

std::expected<void, ServiceError> FileTree::flush()
{
    std::lock_guard lock(m_mutex);
    if (auto checkpointed = m_database.execute("PRAGMA wal_checkpoint(TRUNCATE)"); !checkpointed)
        return std::unexpected(ServiceErrors::databaseFailure(checkpointed.error()));
    return {};
}

} // namespace LocalCloud
