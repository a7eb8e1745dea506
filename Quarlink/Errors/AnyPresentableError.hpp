#pragma once

#include "Quarlink/Errors/PresentableError.hpp"
#include "Reactive/AnyError.hpp"

#include <concepts>
#include <optional>
#include <string>

namespace Quarlink {

// A concrete error type that can be presented and carried in an `AnyError`.
template<class E>
concept PresentableErrorType = std::derived_from<E, PresentableError> && std::derived_from<E, Reactive::Error>;

// A presentable error that copies the three texts of another error and keeps
// that error, so the headline can be replaced without losing what lies beneath.
// An immutable-by-default value; copies share the (immutable) wrapped error.
class AnyPresentableError final : public Reactive::Error, public PresentableError {
public:
    // Wraps a concrete presentable error, asking it for subject, reason and
    // recovery in that order.
    template<PresentableErrorType E>
    explicit AnyPresentableError(const E& error)
        : AnyPresentableError(Reactive::AnyError(error), WrappedAs::error)
    {
    }

    // Wraps `error` even when it is itself an `AnyPresentableError` (where the
    // constructor would copy it instead).
    template<PresentableErrorType E>
    [[nodiscard]] static AnyPresentableError wrapping(const E& error)
    {
        return AnyPresentableError(Reactive::AnyError(error), WrappedAs::error);
    }

    // Wraps an `AnyError`, whose texts follow the presentation rules of
    // `Quarlink::subject(const AnyError&)` and its siblings.
    explicit AnyPresentableError(const Reactive::AnyError& error)
        : AnyPresentableError(error, WrappedAs::anyError)
    {
    }

    [[nodiscard]] std::string subject() const override { return m_subject; }
    [[nodiscard]] std::string reason() const override { return m_reason; }
    [[nodiscard]] std::optional<RecoveryInfo> recoveryInfo() const override { return m_recoveryInfo; }
    void setSubject(std::string subject) { m_subject = std::move(subject); }
    void setReason(std::string reason) { m_reason = std::move(reason); }
    void setRecoveryInfo(std::optional<RecoveryInfo> recoveryInfo) { m_recoveryInfo = std::move(recoveryInfo); }

    // The wrapped error, erased.
    [[nodiscard]] const Reactive::AnyError& underlyingError() const { return m_underlyingError; }
    // Whether the wrapped error was handed in as an `AnyError` rather than as a concrete error.
    [[nodiscard]] bool wrapsAnyError() const { return m_wrappedAs == WrappedAs::anyError; }

    // The error beneath every layer of re-titling: through wrapped
    // `AnyPresentableError`s, and through one `AnyError` layer, which is not
    // looked into further.
    [[nodiscard]] Reactive::AnyError unmappedError() const;

    [[nodiscard]] std::string description() const override;

private:
    enum class WrappedAs { error, anyError };

    AnyPresentableError(Reactive::AnyError error, WrappedAs wrappedAs);

    std::string m_subject;
    std::string m_reason;
    std::optional<RecoveryInfo> m_recoveryInfo;
    Reactive::AnyError m_underlyingError;
    WrappedAs m_wrappedAs;
};

// Presentation of any error, as alerts and notifications show it. For an
// error that is presentable these are its own texts; for any other error the
// subject is its description, the reason "Die Aktion konnte nicht durchgeführt
// werden." and there is no recovery.
[[nodiscard]] std::string subject(const Reactive::AnyError& error);
[[nodiscard]] std::string reason(const Reactive::AnyError& error);
[[nodiscard]] std::optional<RecoveryInfo> recoveryInfo(const Reactive::AnyError& error);

// The error beneath the presentable wrapping, on which the application decides
// special cases (a rejected login, an expired session): the unmapped error of a
// wrapped `AnyPresentableError`, else the error itself. Never absent.
[[nodiscard]] Reactive::AnyError underlyingError(const Reactive::AnyError& error);

// The error with its headline replaced and its reason and recovery kept,
// wrapped in an `AnyError` whose `underlyingError` leads back to it.
template<PresentableErrorType E>
[[nodiscard]] Reactive::AnyError errorWithSubject(const E& error, std::string subject)
{
    auto wrapped = AnyPresentableError::wrapping(error);
    wrapped.setSubject(std::move(subject));
    return Reactive::AnyError(std::move(wrapped));
}

[[nodiscard]] Reactive::AnyError errorWithSubject(const Reactive::AnyError& error, std::string subject);

// An operation that re-titles the error it is given, for a stream's error mapping:
// `producer.mapError(Quarlink::updateSubject("Freigabe fehlgeschlagen"))`.
[[nodiscard]] inline auto updateSubject(std::string subject)
{
    return [subject = std::move(subject)](const auto& error) -> Reactive::AnyError {
        return errorWithSubject(error, subject);
    };
}

} // namespace Quarlink
