#include "Orvella/Login/LoginErrorText.hpp"

#include "Quarlink/Errors/AnyPresentableError.hpp"

namespace Orvella {

LoginErrorText::LoginErrorText()
    : m_text(std::string())
    , m_property(m_text)
    , m_discarding(std::make_shared<bool>(false))
{
}

LoginErrorText::~LoginErrorText()
{
    m_observations.dispose();
}

void LoginErrorText::showReasons(const Reactive::Signal<Reactive::AnyError, Reactive::NoError>& errors, Reason reason)
{
    std::weak_ptr<Reactive::Detail::PropertyState<std::string>> text = m_text.state();
    m_observations += errors.observeValues([text, reason = std::move(reason)](const Reactive::AnyError& error) {
        if (auto state = text.lock()) {
            state->set(reason(error));
        }
    });
}

void LoginErrorText::clearOnEdits(const Reactive::MutableProperty<std::string>& field)
{
    std::weak_ptr<Reactive::Detail::PropertyState<std::string>> text = m_text.state();
    std::weak_ptr<bool> discarding = m_discarding;
    m_observations += field.signal().observeValues([text, discarding](const std::string&) {
        auto flag = discarding.lock();
        auto state = text.lock();
        if (flag && state && !*flag) {
            state->set(std::string());
        }
    });
}

void LoginErrorText::discard(Reactive::MutableProperty<std::string>& field)
{
    *m_discarding = true;
    field.set(std::string());
    *m_discarding = false;
}

std::string loginFailureReason(const Reactive::AnyError& error)
{
    return Quarlink::reason(error);
}

} // namespace Orvella
