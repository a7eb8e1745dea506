#pragma once

#include "Orvella/Sharing/PrivateShareService.hpp"
#include "Orvella/Sharing/PublicShareService.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"
#include "Sync/Model/File.hpp"

#include <memory>

namespace Orvella {

// The two share entries a user can choose for an item.
enum class ShareEntry { publicLink, privateShare };

// Where a share flow shows its outcome: the navigator's side. Called on the
// flow's UI scheduler only.
class SharePresenter {
public:
    virtual ~SharePresenter() = default;
    virtual void copyPublicLink(const Platform::URL& url) = 0;
    virtual void presentPublicLinkDialog(const Sync::FileRef& file) = 0;
    virtual void presentPrivateShareDialog(const Sync::FileRef& file) = 0;
    virtual void presentError(const Reactive::AnyError& error) = 0;
};

// What choosing a share entry leads to, decided without widgets: an item that
// already has a public link gets that link copied; any other is asked for the
// entry's permission, and a refusal is presented instead of the dialog.
class ShareFlow {
public:
    struct Services {
        std::shared_ptr<PublicShareService> publicShareService;
        std::shared_ptr<PrivateShareService> privateShareService;
        Reactive::SchedulerPtr uiScheduler;
    };

    explicit ShareFlow(Services services);

    // Starts the flow and returns at once. The presenter is held weakly: an
    // answer that arrives after it is gone is dropped.
    void share(ShareEntry entry, const Sync::FileRef& file, std::weak_ptr<SharePresenter> presenter) const;

private:
    void copyExistingLink(const Sync::FileRef& file, std::weak_ptr<SharePresenter> presenter) const;
    void presentAfterPermission(ShareEntry entry, const Sync::FileRef& file, std::weak_ptr<SharePresenter> presenter) const;

    Services m_services;
};

} // namespace Orvella
