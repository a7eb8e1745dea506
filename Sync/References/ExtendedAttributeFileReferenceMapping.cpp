#include "Sync/References/ExtendedAttributeFileReferenceMapping.hpp"

#include "Platform/FileSystem/ItemStat.hpp"
#include "Platform/FileSystem/PathResolver.hpp"
#include "Sync/References/ExtendedAttributes.hpp"

#include <algorithm>
#include <atomic>
#include <limits>
#include <system_error>
#include <thread>
#include <vector>

namespace Sync {

namespace {

    // The item's file URL below the cloud folder, through the path resolver.
    std::optional<Platform::URL> itemURL(std::string_view path, const Platform::URL& cloudFolder)
    {
        if (!cloudFolder.isFileURL())
            return std::nullopt;
        auto resolved = Platform::PathResolver(cloudFolder.path()).resolve(path);
        if (!resolved)
            return std::nullopt;
        return Platform::URL::fileURL(*resolved);
    }

} // namespace

ExtendedAttributeFileReferenceMapping::ExtendedAttributeFileReferenceMapping(std::shared_ptr<FileStore> fileStore,
    std::shared_ptr<const Platform::ExtendedAttributes> attributes, std::shared_ptr<Platform::OwnChangeRegistry> ownChanges,
    BindingMemo::Options memoOptions)
    : m_fileStore(std::move(fileStore))
    , m_attributes(attributes ? std::move(attributes) : Platform::ExtendedAttributes::system())
    , m_ownChanges(std::move(ownChanges))
    , m_memo(memoOptions)
{
}

FileRef ExtendedAttributeFileReferenceMapping::file(std::string_view path, const Platform::URL& cloudFolder)
{
    auto url = itemURL(path, cloudFolder);
    if (!url)
        return nullptr;
    auto binding = QVExtendedAttributeValueForKey(path, extendedAttributeName(), *url, *m_attributes,
        m_ownChanges.get());
    if (!binding || binding->remoteFileId < 1)
        return nullptr;
    return m_fileStore->file(SyncFileID::remote(binding->remoteFileId));
}

void ExtendedAttributeFileReferenceMapping::addReference(const File& file, const Platform::URL& cloudFolder)
{
    auto remoteID = file.syncFileID().remoteID();
    if (!remoteID)
        return;
    auto url = itemURL(file.path(), cloudFolder);
    if (!url)
        return;
    auto binding = QVCloudExtendedAttributes::attributesWithFilePath(file.path(), *remoteID);
    if (!QVSetExtendedAttributeValue(&binding, extendedAttributeName(), *url, *m_attributes, m_ownChanges.get()))
        return;
    // The next scan need not read back what was just written (a download's
    // binding would otherwise be read again by the run after it).
    if (auto status = Platform::ItemStat::of(url->path()))
        m_memo.learn(withoutTrailingSlash(file.path()), Platform::ChangeStamp::from(*status), *remoteID);
}

bool ExtendedAttributeFileReferenceMapping::bind(const File& file, const std::string& diskPath) const
{
    auto remoteID = file.syncFileID().remoteID();
    if (!remoteID)
        return false;
    auto binding = QVCloudExtendedAttributes::attributesWithFilePath(file.path(), *remoteID);
    return QVSetExtendedAttributeValue(&binding, extendedAttributeName(), Platform::URL::fileURL(diskPath),
        *m_attributes, m_ownChanges.get());
}

void ExtendedAttributeFileReferenceMapping::placed(const File& file, const std::string& diskPath) const
{
    auto remoteID = file.syncFileID().remoteID();
    if (!remoteID)
        return;
    // Looked at after the rename, which gave the item a new change time.
    if (auto status = Platform::ItemStat::of(diskPath))
        m_memo.learn(withoutTrailingSlash(file.path()), Platform::ChangeStamp::from(*status), *remoteID);
}

std::optional<std::int64_t> ExtendedAttributeFileReferenceMapping::boundRemoteID(std::string_view path,
    const std::string& diskPath, const Platform::URL&, const Platform::ChangeStamp* stamp)
{
    if (stamp)
        if (auto kept = m_memo.find(path, *stamp))
            return *kept;
    const auto readStart = std::chrono::time_point_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now());
    auto binding = QVExtendedAttributeValueAtPath(path, extendedAttributeName(), diskPath, *m_attributes,
        m_ownChanges.get());
    std::optional<std::int64_t> bound;
    if (binding && binding->remoteFileId >= 1)
        bound = binding->remoteFileId;
    if (stamp)
        m_memo.keep(path, *stamp, bound, readStart);
    return bound;
}

void ExtendedAttributeFileReferenceMapping::readAhead(std::span<const FileRef> files,
    std::span<const Platform::ChangeStamp> stamps, const std::string& root, const Platform::URL& cloudFolder)
{
    // A few unknown items are not worth the threads.
    constexpr std::size_t fewItems = 512;
    constexpr std::size_t itemsPerTurn = 64;
    constexpr unsigned maximumThreads = 8;
    if (files.size() != stamps.size() || files.size() > std::numeric_limits<std::uint32_t>::max())
        return;
    m_memo.reserve(files.size());
    const auto unknown = m_memo.unknown(files.size(), [&](std::size_t index) {
        return std::pair(withoutTrailingSlash(files[index]->path()), stamps[index]);
    });
    if (unknown.size() < fewItems)
        return;
    std::atomic<std::size_t> next { 0 };
    auto work = [&] {
        std::string diskPath;
        for (auto begin = next.fetch_add(itemsPerTurn); begin < unknown.size(); begin = next.fetch_add(itemsPerTurn)) {
            for (auto position = begin; position < std::min(begin + itemsPerTurn, unknown.size()); ++position) {
                auto index = unknown[position];
                auto path = withoutTrailingSlash(files[index]->path());
                diskPath.assign(root).append(path);
                static_cast<void>(boundRemoteID(path, diskPath, cloudFolder, &stamps[index]));
            }
        }
    };
    const auto threads = std::clamp(std::thread::hardware_concurrency(), 1u, maximumThreads);
    std::vector<std::jthread> helpers;
    helpers.reserve(threads - 1);
    try {
        for (unsigned helper = 1; helper < threads; ++helper)
            helpers.emplace_back(work);
    } catch (const std::system_error&) {
        // No thread to spare now: the ones there are, this one included, read it all.
    }
    work();
}

void ExtendedAttributeFileReferenceMapping::removeReference(std::string_view path, const Platform::URL& cloudFolder)
{
    if (auto url = itemURL(path, cloudFolder))
        (void)QVSetExtendedAttributeValue(nullptr, extendedAttributeName(), *url, *m_attributes, m_ownChanges.get());
}

} // namespace Sync
