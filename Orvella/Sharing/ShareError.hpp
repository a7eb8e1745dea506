#pragma once

// Orvella/Sharing: the share, search and quota services the interface uses,
// and the error of a refused share.

#include "Orvella/Sharing/AlertPresentableError.hpp"
#include "Quarlink/Errors/PresentableError.hpp"
#include "Reactive/Error.hpp"

#include <optional>
#include <string>

namespace Orvella {

// A share the service refuses for an item, with the German texts that tell
// the user why. Shown as a warning. An immutable value.
class ShareError final : public Reactive::Error, public Quarlink::PresentableError, public AlertPresentableError {
public:
    ShareError(std::string subject, std::string reason, std::optional<Quarlink::RecoveryInfo> recoveryInfo = std::nullopt)
        : m_subject(std::move(subject))
        , m_reason(std::move(reason))
        , m_recoveryInfo(std::move(recoveryInfo))
    {
    }

    // The refusal for a file or for a folder; no recovery.
    [[nodiscard]] static ShareError notShareable(bool isFolder);

    [[nodiscard]] std::string subject() const override { return m_subject; }
    [[nodiscard]] std::string reason() const override { return m_reason; }
    [[nodiscard]] std::optional<Quarlink::RecoveryInfo> recoveryInfo() const override { return m_recoveryInfo; }
    [[nodiscard]] std::string alertSubject() const override { return m_subject; }
    [[nodiscard]] std::string alertReason() const override { return m_reason; }
    [[nodiscard]] AlertStyle alertStyle() const override { return AlertStyle::warning; }
    [[nodiscard]] std::string description() const override { return "ShareError: " + m_subject; }

private:
    std::string m_subject;
    std::string m_reason;
    std::optional<Quarlink::RecoveryInfo> m_recoveryInfo;
};

} // namespace Orvella
