#include "Orvella/ShareDialogs/ShareDurationViewModel.hpp"

#include "Orvella/ShareDialogs/ShareFailureText.hpp"
#include "Platform/Foundation/Log.hpp"

namespace Orvella {

void ShareDurationViewModel::createShare() const
{
    // Not kept: the request runs to its end after the dialog is gone.
    shareService->createPublicShare(file, lifetime)
        .startWithResult([file = file, fileStore = fileStore, navigator = navigator,
                             notifications = userNotificationCenter, ui = uiScheduler](
                             const Reactive::Result<PublicShareService::PublicShare, Reactive::AnyError>& result) {
            if (result) {
                const auto info = *result;
                if (!info) {
                    return;
                }
                if (auto stored = fileStore->storePublicShare(file->syncFileID(), info); !stored) {
                    Platform::Log::failure("Public link could not be stored: " + stored.error().description());
                }
                navigator->copyPublicLink(info->publicURL());
                return;
            }
            ui->schedule([notifications, text = shareFailureText(result.error())] {
                notifications->deliver("Freigabe fehlgeschlagen", text);
            });
        });
}

} // namespace Orvella
