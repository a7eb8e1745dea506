#include "Orvella/Sharing/ShareFlow.hpp"

namespace Orvella {

ShareFlow::ShareFlow(Services services)
    : m_services(std::move(services))
{
}

void ShareFlow::share(ShareEntry entry, const Sync::FileRef& file, std::weak_ptr<SharePresenter> presenter) const
{
    if (entry == ShareEntry::publicLink && file->hasPublicShare())
        copyExistingLink(file, std::move(presenter));
    else
        presentAfterPermission(entry, file, std::move(presenter));
}

void ShareFlow::copyExistingLink(const Sync::FileRef& file, std::weak_ptr<SharePresenter> presenter) const
{
    m_services.publicShareService->publicShare(file)
        .observeOn(m_services.uiScheduler)
        .startWithResult([presenter = std::move(presenter)](
                             const Reactive::Result<PublicShareService::PublicShare, Reactive::AnyError>& result) {
            auto shown = presenter.lock();
            if (!shown)
                return;
            if (!result)
                shown->presentError(result.error());
            else if (*result)
                shown->copyPublicLink((*result)->publicURL());
        });
}

void ShareFlow::presentAfterPermission(
    ShareEntry entry, const Sync::FileRef& file, std::weak_ptr<SharePresenter> presenter) const
{
    auto permission = entry == ShareEntry::publicLink ? m_services.publicShareService->sharePermission(file)
                                                      : m_services.privateShareService->sharePermission(file);
    permission.observeOn(m_services.uiScheduler)
        .startWithResult([entry, file, presenter = std::move(presenter)](
                             const Reactive::Result<Reactive::Unit, Reactive::AnyError>& result) {
            auto shown = presenter.lock();
            if (!shown)
                return;
            if (!result)
                shown->presentError(result.error());
            else if (entry == ShareEntry::publicLink)
                shown->presentPublicLinkDialog(file);
            else
                shown->presentPrivateShareDialog(file);
        });
}

} // namespace Orvella
