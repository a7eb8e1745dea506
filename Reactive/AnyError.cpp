#include "Reactive/AnyError.hpp"

#include <cassert>

namespace Reactive {

AnyError::AnyError(std::shared_ptr<const Error> error)
    : m_error(std::move(error))
{
    assert(m_error && "AnyError needs an error");
    // Unwrap instead of nesting, so that `as<T>()` always sees the original error.
    if (auto* inner = dynamic_cast<const AnyError*>(m_error.get())) {
        m_error = inner->m_error;
    }
}

}
