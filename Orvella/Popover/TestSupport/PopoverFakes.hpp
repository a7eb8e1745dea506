#pragma once
// Doubles of the services the popover's view model reads, for the tests and the gallery.

#include "Orvella/Popover/CloudFolderLocation.hpp"
#include "Orvella/Popover/PopoverFilesProvider.hpp"
#include "Orvella/Popover/PopoverNavigator.hpp"
#include "Orvella/Popover/QuotaProvider.hpp"
#include "Orvella/Popover/SyncEnabler.hpp"
#include "Orvella/StatusItem/SyncStatusProvider.hpp"

#include "Reactive/MutableProperty.hpp"
#include "Sync/Model/FileWrapperItem.hpp"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace Orvella::Testing {

// A files provider whose queries the test answers one by one.
class FakeFilesProvider final : public PopoverFilesProvider {
public:
    struct Query {
        std::string text; // "" for the recent files
        bool recent = false;
        std::optional<Reactive::Observer<std::vector<Sync::FileRef>, Reactive::AnyError>> observer;
        bool disposed = false;
    };

    // Every query started so far, in order.
    std::vector<std::shared_ptr<Query>> queries;
    // When set, every query is answered at its start with these files.
    std::optional<std::vector<Sync::FileRef>> immediateAnswer;

    Files files(const std::string& text) override { return make(text, false); }
    Files recentFiles() override { return make("", true); }

    std::shared_ptr<Query> last() const { return queries.empty() ? nullptr : queries.back(); }

    static void answer(const std::shared_ptr<Query>& query, std::vector<Sync::FileRef> files)
    {
        query->observer->send(std::move(files));
        query->observer->sendCompleted();
    }
    static void fail(const std::shared_ptr<Query>& query)
    {
        query->observer->sendFailed(Reactive::AnyError(std::string("Suche fehlgeschlagen")));
    }

private:
    Files make(std::string text, bool recent)
    {
        return Files([this, text, recent](Reactive::Observer<std::vector<Sync::FileRef>, Reactive::AnyError> observer,
                         Reactive::Lifetime lifetime) {
            auto query = std::make_shared<Query>(Query { text, recent, observer, false });
            queries.push_back(query);
            lifetime.observeEnded([query] { query->disposed = true; });
            if (immediateAnswer) {
                answer(query, *immediateAnswer);
            }
        });
    }
};

class FakeSyncStatusProvider final : public SyncStatusProvider {
public:
    explicit FakeSyncStatusProvider(Sync::SyncStatus initial = Sync::SyncStatus::allInSync({})) : current(initial) {}
    Reactive::Property<Sync::SyncStatus> status() const override { return current; }
    Reactive::MutableProperty<Sync::SyncStatus> current;
};

class FakeQuotaProvider final : public QuotaProvider {
public:
    Reactive::Property<Quarlink::Quota> quota() const override { return current; }
    Reactive::MutableProperty<Quarlink::Quota> current { Quarlink::Quota {} };
};

class FakeSyncEnabler final : public SyncEnabler {
public:
    Reactive::MutableProperty<bool>& isSyncEnabled() override { return enabled; }
    Reactive::MutableProperty<bool> enabled { true };
};

class FakeCloudFolder final : public CloudFolderLocation {
public:
    explicit FakeCloudFolder(std::string path) : url(Platform::URL::fileURL(path, Platform::URL::IsDirectory::Yes)) {}
    Platform::URL currentCloudFolderURL() const override { return url; }
    Platform::URL url;
};

class RecordingPopoverNavigator final : public PopoverNavigator {
public:
    std::vector<std::string> revealedPaths;
    void revealInFinder(const Sync::File& file) override { revealedPaths.push_back(file.path()); }
};

inline Sync::FileRef file(std::string path, Platform::Date modified = {})
{
    auto name = path.substr(path.find_last_of('/') + 1);
    return std::make_shared<Sync::FileWrapperItem>(
        Sync::FileWrapperItem::Fields { .path = std::move(path), .fileName = std::move(name), .lastModifiedDate = modified });
}

} // namespace Orvella::Testing
