#pragma once

#include "Glimmerd/FinderSync/ExtensionChannel.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/Status/FileSyncStatusStore.hpp"
#include "Sync/Store/FileStore.hpp"

#include <map>
#include <string>
#include <vector>

namespace GlimmerdTesting {

// A channel that keeps every pong for the test to answer and records what is sent.
class FakeChannel final : public Glimmerd::ExtensionChannel {
public:
    void ping(std::function<void(bool)> pong) override
    {
        events.push_back("ping");
        pongs.push_back(std::move(pong));
    }
    void createPublicShareForFile(const Sync::SyncFileID& fileID) override { shares.emplace_back("CloudCreatePublicShare", fileID); }
    void createPrivateShareForFile(const Sync::SyncFileID& fileID) override { shares.emplace_back("CloudCreatePrivateShare", fileID); }
    Registration observeNotifications(std::vector<std::string> names, std::function<void(const std::string&)> handler) override
    {
        events.push_back("observe");
        observedNames = names;
        m_handler = std::make_shared<std::function<void(const std::string&)>>(std::move(handler));
        return m_handler;
    }
    // Posts a notification as the application would; nothing once the registration has gone.
    void post(const std::string& name)
    {
        if (m_handler.use_count() > 1)
            (*m_handler)(name);
    }

    std::vector<std::string> events;
    std::vector<std::function<void(bool)>> pongs;
    std::vector<std::pair<std::string, Sync::SyncFileID>> shares;
    std::vector<std::string> observedNames;

private:
    std::shared_ptr<std::function<void(const std::string&)>> m_handler;
};

class FakeSettings final : public Glimmerd::CloudFolderSettings {
public:
    std::optional<std::string> cloudFolderURL() const override { return value; }
    std::optional<std::string> value;
};

// Statuses by identifier path; the stream sends what the test sends.
class FakeStatusStore final : public Sync::FileSyncStatusStore {
public:
    std::unordered_set<Platform::URL> trackedURLs() const override { return tracked; }
    void setTrackedURLs(std::unordered_set<Platform::URL> urls) override { tracked = std::move(urls); }
    void modifyTrackedURLs(const std::function<void(std::unordered_set<Platform::URL>&)>& change) override { change(tracked); }
    bool hasSyncingFiles() const override { return syncing; }
    Reactive::SignalProducer<Sync::FileSyncStatuses, Reactive::NoError> statusProducer() const override
    {
        auto* self = const_cast<FakeStatusStore*>(this);
        return Reactive::SignalProducer<Sync::FileSyncStatuses, Reactive::NoError>(
            [self](Reactive::Observer<Sync::FileSyncStatuses, Reactive::NoError> observer, Reactive::Lifetime) {
                ++self->starts;
                self->observers.push_back(observer);
            });
    }
    void send(const Sync::FileSyncStatuses& statuses)
    {
        for (auto& observer : observers)
            observer.send(statuses);
    }
    Sync::StoreResult<> mark(const Sync::File&, Sync::FileSyncStatus, const Platform::URL&) override { return {}; }
    Sync::StoreResult<> mark(const std::vector<Sync::FileRef>&, Sync::FileSyncStatus, const Platform::URL&) override { return {}; }
    Sync::StoreResult<> removeAll(Sync::FileSyncStatus) override { return {}; }
    Sync::StoreResult<> remove(const Platform::URL&) override { return {}; }
    Sync::StoreResult<> remove(const Sync::File&, const Platform::URL&) override { return {}; }
    Sync::StoreResult<> clean() override { return {}; }
    Sync::FileSyncStatus status(const Platform::URL& url) const override
    {
        auto found = statuses.find(Sync::realmIdentifierPath(url));
        return found == statuses.end() ? Sync::FileSyncStatus::unknown : found->second;
    }
    Sync::StoreResult<> setStatus(const Platform::URL&, Sync::FileSyncStatus) override { return {}; }

    std::map<std::string, Sync::FileSyncStatus> statuses;
    bool syncing = false;
    std::unordered_set<Platform::URL> tracked;
    int starts = 0;
    std::vector<Reactive::Observer<Sync::FileSyncStatuses, Reactive::NoError>> observers;
};

// Records by cloud-relative path; remembers every path asked for.
class FakeFileStore final : public Sync::FileStore {
public:
    void add(const std::string& path, std::optional<std::int64_t> remoteID, bool hasPublicShare = false)
    {
        Sync::FileWrapperItem::Fields fields;
        fields.syncFileID = remoteID ? Sync::SyncFileID::remote(*remoteID) : Sync::SyncFileID::local("local");
        fields.path = path;
        fields.hasPublicShare = hasPublicShare;
        if (path.ends_with('/'))
            fields.type = Sync::FileType::folder();
        records[path] = std::make_shared<Sync::FileWrapperItem>(fields);
    }
    Sync::FileRef fileAtPath(const std::string& path) const override
    {
        asked.push_back(path);
        auto found = records.find(path);
        return found == records.end() ? nullptr : found->second;
    }
    Sync::StoreResult<> clean() override { return {}; }
    Sync::StoreResult<> add(const Sync::File&) override { return {}; }
    Sync::FileRef file(const Sync::SyncFileID&) const override { return nullptr; }
    Sync::StoreResult<> setFile(const Sync::SyncFileID&, const Sync::FileRef&) override { return {}; }
    Sync::StoreResult<std::vector<Sync::FileRef>> loadFiles() const override { return std::vector<Sync::FileRef>{}; }
    Sync::StoreResult<> modifyOrCreate(const Sync::SyncFileID&, const ModifyOrCreate&) override { return {}; }
    Reactive::SignalProducer<std::vector<Sync::FileRef>, Reactive::NoError> filesProducer() const override
    {
        return Reactive::SignalProducer<std::vector<Sync::FileRef>, Reactive::NoError>::never();
    }

    std::map<std::string, Sync::FileRef> records;
    mutable std::vector<std::string> asked;
};

} // namespace GlimmerdTesting
