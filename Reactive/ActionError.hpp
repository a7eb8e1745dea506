#pragma once
// Why applying an action failed.

#include "Reactive/AnyError.hpp"
#include "Reactive/Error.hpp"

#include <optional>
#include <string>

namespace Reactive {

// The error of `Action::apply`: the action refused to start (it was
// disabled or already executing), or the started work failed with `E`.
template<class E>
class ActionError final : public Error {
public:
    enum class Kind { disabled, producerFailed };

    static ActionError disabled() { return ActionError(std::nullopt); }
    static ActionError producerFailed(E error) { return ActionError(std::optional<E>(std::move(error))); }

    Kind kind() const { return m_error ? Kind::producerFailed : Kind::disabled; }
    bool isDisabled() const { return !m_error; }
    // The work's error; null for `disabled`.
    const E* error() const { return m_error ? &*m_error : nullptr; }

    std::string description() const override
    {
        return m_error ? "action failed: " + Detail::describe(*m_error) : std::string("action is disabled");
    }

    bool operator==(const ActionError& other) const
        requires requires(const E& error) { error == error; }
    {
        return m_error == other.m_error;
    }

private:
    explicit ActionError(std::optional<E> error) : m_error(std::move(error)) {}

    std::optional<E> m_error;
};

}
