#include "Quarlink/Errors/AnyPresentableError.hpp"

#include "Quarlink/Errors/ErrorTexts.hpp"

namespace Quarlink {

AnyPresentableError::AnyPresentableError(Reactive::AnyError error, WrappedAs wrappedAs)
    : m_subject(Quarlink::subject(error))
    , m_reason(Quarlink::reason(error))
    , m_recoveryInfo(Quarlink::recoveryInfo(error))
    , m_underlyingError(std::move(error))
    , m_wrappedAs(wrappedAs)
{
}

Reactive::AnyError AnyPresentableError::unmappedError() const
{
    // An error handed in as `AnyError` is returned as it is: the one `AnyError`
    // layer is looked through, and what lies inside is not unwrapped further.
    if (m_wrappedAs == WrappedAs::error) {
        if (const auto* inner = m_underlyingError.as<AnyPresentableError>())
            return inner->unmappedError();
    }
    return m_underlyingError;
}

std::string AnyPresentableError::description() const
{
    return "AnyPresentableError(" + m_subject + ", " + m_reason + ")";
}

std::string subject(const Reactive::AnyError& error)
{
    if (const auto* presentable = error.as<PresentableError>())
        return presentable->subject();
    return error.description();
}

std::string reason(const Reactive::AnyError& error)
{
    if (const auto* presentable = error.as<PresentableError>())
        return presentable->reason();
    return ErrorTexts::actionFailedWithPeriod;
}

std::optional<RecoveryInfo> recoveryInfo(const Reactive::AnyError& error)
{
    if (const auto* presentable = error.as<PresentableError>())
        return presentable->recoveryInfo();
    return std::nullopt;
}

Reactive::AnyError underlyingError(const Reactive::AnyError& error)
{
    if (const auto* wrapped = error.as<AnyPresentableError>())
        return wrapped->unmappedError();
    return error;
}

Reactive::AnyError errorWithSubject(const Reactive::AnyError& error, std::string subject)
{
    AnyPresentableError wrapped(error);
    wrapped.setSubject(std::move(subject));
    return Reactive::AnyError(std::move(wrapped));
}

} // namespace Quarlink
