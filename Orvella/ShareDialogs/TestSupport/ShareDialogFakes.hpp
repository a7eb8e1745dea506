#pragma once

#include "Orvella/Notifications/UserNotificationCenter.hpp"
#include "Orvella/ShareDialogs/ShareDurationNavigator.hpp"
#include "Orvella/Sharing/PrivateShareService.hpp"
#include "Orvella/Sharing/PublicShareService.hpp"
#include "Reactive/Signal.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/Store/FileStore.hpp"

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace Orvella::Testing {

// Answers of a share service that the test sends when it likes: each
// request opens a pipe that stays open until the test answers it.
template<class V>
struct PendingAnswers {
    std::vector<Reactive::Observer<V, Reactive::AnyError>> open;
    PendingAnswers() = default;
    PendingAnswers(const PendingAnswers&) = delete;
    PendingAnswers& operator=(const PendingAnswers&) = delete;
    // A request never answered ends as interrupted, so its pipe is freed.
    ~PendingAnswers()
    {
        for (const auto& observer : open) {
            observer.sendInterrupted();
        }
    }
    Reactive::SignalProducer<V, Reactive::AnyError> next()
    {
        auto [signal, observer] = Reactive::Signal<V, Reactive::AnyError>::pipe();
        open.push_back(observer);
        return Reactive::SignalProducer<V, Reactive::AnyError>(signal);
    }
    void succeed(std::size_t index, V value)
    {
        open.at(index).send(std::move(value));
        open.at(index).sendCompleted();
    }
    void fail(std::size_t index, Reactive::AnyError error) { open.at(index).sendFailed(std::move(error)); }
};

class FakePublicShareService final : public PublicShareService {
public:
    std::vector<std::pair<std::string, Sync::ShareLifetime>> created;
    std::vector<std::string> permissionsAsked;
    std::vector<std::string> linksAsked;
    PendingAnswers<PublicShare> creations;
    PendingAnswers<Reactive::Unit> permissions;
    PendingAnswers<PublicShare> links;

    Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> sharePermission(Sync::FileRef item) override
    {
        permissionsAsked.push_back(item->fileName());
        return permissions.next();
    }
    Reactive::SignalProducer<PublicShare, Reactive::AnyError> publicShare(Sync::FileRef item) override
    {
        linksAsked.push_back(item->fileName());
        return links.next();
    }
    Reactive::SignalProducer<PublicShare, Reactive::AnyError> createPublicShare(Sync::FileRef item, Sync::ShareLifetime lifetime) override
    {
        created.emplace_back(item->fileName(), lifetime);
        return creations.next();
    }
    Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(const Sync::PublicShareInfo&) override
    {
        return Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>::empty();
    }
    Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(const Sync::PrivateShareInfo&) override
    {
        return Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>::empty();
    }
};

class FakePrivateShareService final : public PrivateShareService {
public:
    struct Invitation {
        std::string folder;
        std::string message;
        std::vector<std::string> recipients;
    };
    std::vector<Invitation> invitations;
    std::vector<std::string> permissionsAsked;
    PendingAnswers<PrivateShares> creations;
    PendingAnswers<Reactive::Unit> permissions;

    Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> sharePermission(Sync::FileRef item) override
    {
        permissionsAsked.push_back(item->fileName());
        return permissions.next();
    }
    Reactive::SignalProducer<PrivateShares, Reactive::AnyError> privateShares(Sync::FileRef) override
    {
        return Reactive::SignalProducer<PrivateShares, Reactive::AnyError>::value({});
    }
    Reactive::SignalProducer<PrivateShares, Reactive::AnyError> createPrivateShare(
        Sync::FileRef item, std::string message, std::vector<std::string> recipients) override
    {
        invitations.push_back({ item->fileName(), std::move(message), std::move(recipients) });
        return creations.next();
    }
    Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(const Sync::PublicShareInfo&) override
    {
        return Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>::empty();
    }
    Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> deleteShare(const Sync::PrivateShareInfo&) override
    {
        return Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>::empty();
    }
};

// The records a share dialog touches, with their share details, in memory.
class ShareRecordStore final : public Sync::FileStore {
public:
    struct Record {
        Sync::FileRef file;
        PublicShare publicShare;
        PrivateShares privateShares;
    };
    std::map<std::int64_t, Record> records;
    int writes = 0;

    Sync::StoreResult<> clean() override
    {
        records.clear();
        return {};
    }
    Sync::StoreResult<> add(const Sync::File& file) override
    {
        records[*file.syncFileID().remoteID()].file = std::make_shared<Sync::FileWrapperItem>(file);
        return {};
    }
    Sync::FileRef file(const Sync::SyncFileID& id) const override
    {
        auto found = id.remoteID() ? records.find(*id.remoteID()) : records.end();
        return found == records.end() ? nullptr : found->second.file;
    }
    Sync::StoreResult<> setFile(const Sync::SyncFileID& id, const Sync::FileRef& file) override
    {
        records[*id.remoteID()].file = file;
        return {};
    }
    Sync::FileRef fileAtPath(const std::string&) const override { return nullptr; }
    Sync::StoreResult<std::vector<Sync::FileRef>> loadFiles() const override { return std::vector<Sync::FileRef>(); }
    Sync::StoreResult<> modifyOrCreate(const Sync::SyncFileID& id, const ModifyOrCreate& apply) override
    {
        ++writes;
        auto& record = records[*id.remoteID()];
        apply(record.file, record.publicShare, record.privateShares);
        return {};
    }
    Reactive::SignalProducer<std::vector<Sync::FileRef>, Reactive::NoError> filesProducer() const override
    {
        return Reactive::SignalProducer<std::vector<Sync::FileRef>, Reactive::NoError>::never();
    }
};

// Records every notification as "title | text"; delivers nothing while off.
class RecordingNotificationCenter final : public UserNotificationCenter {
public:
    std::vector<std::string> delivered;
    bool enabled = true;
    using UserNotificationCenter::deliver;
    void deliver(const std::string& title, const std::string& text, const std::optional<std::string>&) override
    {
        if (enabled) {
            delivered.push_back(title + " | " + text);
        }
    }
    void removeDeliveredNotifications(const std::string&) override {}
};

class RecordingShareDurationNavigator final : public ShareDurationNavigator {
public:
    std::vector<std::string> copied;
    void copyPublicLink(const Platform::URL& url) override { copied.push_back(url.absoluteString()); }
};

[[nodiscard]] inline Sync::FileRef sharedItem(std::int64_t id, std::string name, bool folder = false)
{
    return std::make_shared<Sync::FileWrapperItem>(Sync::FileWrapperItem::Fields {
        .syncFileID = Sync::SyncFileID::remote(id),
        .path = "/" + name,
        .fileName = name,
        .type = folder ? Sync::FileType::folder() : Sync::FileType::file("text/plain"),
    });
}

} // namespace Orvella::Testing
