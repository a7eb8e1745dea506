#pragma once

#include "Reactive/AnyError.hpp"
#include "Reactive/Disposables/CompositeDisposable.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Property.hpp"
#include "Reactive/Signal.hpp"

#include <functional>
#include <memory>
#include <string>

namespace Orvella {

// The error label's text of a login form: the reason of each failed login,
// emptied by every edit of the form's fields. A field the window empties on
// its own (after a failure) goes through `discard`, which empties the typed
// value too without taking the new error away. Main thread only.
class LoginErrorText {
public:
    using Reason = std::function<std::string(const Reactive::AnyError&)>;

    LoginErrorText();
    LoginErrorText(const LoginErrorText&) = delete;
    LoginErrorText& operator=(const LoginErrorText&) = delete;
    ~LoginErrorText();

    // Each error of `errors` shows `reason(error)`.
    void showReasons(const Reactive::Signal<Reactive::AnyError, Reactive::NoError>& errors, Reason reason);
    // Each new value of `field` empties the text.
    void clearOnEdits(const Reactive::MutableProperty<std::string>& field);
    // Empties `field` without emptying the text.
    void discard(Reactive::MutableProperty<std::string>& field);

    [[nodiscard]] const Reactive::Property<std::string>& text() const { return m_property; }

private:
    Reactive::MutableProperty<std::string> m_text;
    Reactive::Property<std::string> m_property;
    std::shared_ptr<bool> m_discarding;
    Reactive::CompositeDisposable m_observations;
};

// The reason an alert would show for `error`.
[[nodiscard]] std::string loginFailureReason(const Reactive::AnyError& error);

} // namespace Orvella
