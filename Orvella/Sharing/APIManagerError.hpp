#pragma once

#include "Quarlink/Errors/PresentableError.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Error.hpp"

#include <string>

namespace Orvella {

// The API client manager's own refusals, raised before any request is sent;
// it lives beside the share services, which raise three of its four cases.
// Every case shows "Aufruf fehlgeschlagen" / "Unerwarteter Fehler beim
// Verarbeiten der Anfrage.". It always travels wrapped in an `AnyError`.
class APIManagerError final : public Reactive::Error, public Quarlink::PresentableError {
public:
    enum class Case {
        // A share operation for an item the service does not know (or a
        // private-share lookup on a file).
        cannotCreateShareForItemWithoutID,
        // The service answered without the expected public share.
        noShareFromAPI,
        // A share record without a share id cannot be deleted.
        oldShareWithoutShareID,
        // A file operation for an item without the remote id it needs.
        remoteFileIDisMissing,
    };

    explicit APIManagerError(Case errorCase) : m_case(errorCase) {}

    [[nodiscard]] Case errorCase() const { return m_case; }

    [[nodiscard]] std::string subject() const override { return "Aufruf fehlgeschlagen"; }
    [[nodiscard]] std::string reason() const override { return "Unerwarteter Fehler beim Verarbeiten der Anfrage."; }
    [[nodiscard]] std::string description() const override;

    // Whether `error` holds this error of `errorCase`.
    [[nodiscard]] static bool matches(const Reactive::AnyError& error, Case errorCase);

private:
    Case m_case;
};

} // namespace Orvella
