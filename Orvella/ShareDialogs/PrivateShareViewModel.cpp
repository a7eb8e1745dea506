#include "Orvella/ShareDialogs/PrivateShareViewModel.hpp"

#include "Orvella/ShareDialogs/EmailAddress.hpp"
#include "Orvella/ShareDialogs/ShareFailureText.hpp"
#include "Platform/Foundation/Log.hpp"

namespace Orvella {

PrivateShareViewModel::PrivateShareViewModel(Sync::FileRef file, Services services)
    : m_file(std::move(file))
    , m_services(std::move(services))
    , m_emailStrings(std::vector<std::string>())
    , m_message(std::string())
    , m_isValid(Reactive::Property<std::vector<std::string>>(m_emailStrings).map(containsOnlyValidEmailAddresses))
    , m_needsAbortConfirmation(false)
{
    std::weak_ptr<Reactive::Detail::PropertyState<bool>> confirmation = m_needsAbortConfirmation.state();
    m_confirmationBinding = Reactive::ScopedDisposable(
        m_emailStrings.producer().startWithValues([confirmation](const std::vector<std::string>& recipients) {
            if (auto state = confirmation.lock()) {
                state->set(!recipients.empty());
            }
        }));
}

std::string PrivateShareViewModel::title() const
{
    return "Freigabe für Ordner \"" + m_file->fileName() + "\"";
}

void PrivateShareViewModel::createShare()
{
    m_needsAbortConfirmation.set(false);
    // Not kept: the invitation is sent to its end after the dialog is gone.
    m_services.shareService->createPrivateShare(m_file, m_message.value(), m_emailStrings.value())
        .startWithResult([file = m_file, fileStore = m_services.fileStore, notifications = m_services.notificationCenter,
                             ui = m_services.uiScheduler](
                             const Reactive::Result<PrivateShareService::PrivateShares, Reactive::AnyError>& result) {
            auto announce = [&](std::string title, std::string text) {
                ui->schedule([notifications, title = std::move(title), text = std::move(text)] { notifications->deliver(title, text); });
            };
            if (!result) {
                announce("Freigabe fehlgeschlagen", shareFailureText(result.error()));
                return;
            }
            const auto& infos = *result;
            if (auto stored = fileStore->storePrivateShares(file->syncFileID(), infos); !stored) {
                Platform::Log::failure("Private shares could not be stored: " + stored.error().description());
            }
            announce("Freigabe erfolgreich", "Eine Einladung wurde per E-Mail versandt.");
        });
}

} // namespace Orvella
