#pragma once
// The synchronous result type and the empty value shared by all streams.

#include <expected>
#include <variant>

namespace Reactive {

// A value or an error; the synchronous counterpart of one stream outcome.
template<class V, class E>
using Result = std::expected<V, E>;

// The empty value: what `ignoreValues()` sends and what actions without input take.
using Unit = std::monostate;

}
