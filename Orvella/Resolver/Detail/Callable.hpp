#pragma once
// What a constructor function takes and gives, for bindings that resolve its
// parameters by type.

#include <memory>
#include <tuple>
#include <type_traits>

namespace Orvella::Detail {

// `Result` and `Arguments` of a function, function pointer or lambda that is
// callable as const (a lambda that changes its captures would race when a
// transient is resolved from several threads). No members for anything else,
// generic lambdas included, so that concepts can test for them.
template<class F>
struct CallableTraits {};

template<class R, class... A>
struct CallableTraits<R(A...)> {
    using Result = R;
    using Arguments = std::tuple<A...>;
};

template<class R, class... A>
struct CallableTraits<R(A...) noexcept> : CallableTraits<R(A...)> {};

template<class R, class... A>
struct CallableTraits<R (*)(A...)> : CallableTraits<R(A...)> {};

template<class R, class... A>
struct CallableTraits<R (*)(A...) noexcept> : CallableTraits<R(A...)> {};

template<class R, class C, class... A>
struct CallableTraits<R (C::*)(A...) const> : CallableTraits<R(A...)> {};

template<class R, class C, class... A>
struct CallableTraits<R (C::*)(A...) const noexcept> : CallableTraits<R(A...)> {};

template<class F>
    requires requires { &F::operator(); }
struct CallableTraits<F> : CallableTraits<decltype(&F::operator())> {};

template<class T>
struct IsSharedPointer : std::false_type {};

template<class T>
struct IsSharedPointer<std::shared_ptr<T>> : std::true_type {};

// A parameter the container can fill: a shared pointer to a key, taken by
// value or by const reference.
template<class A>
concept KeyParameter = IsSharedPointer<std::remove_cvref_t<A>>::value
    && (!std::is_reference_v<A> || std::is_const_v<std::remove_reference_t<A>>);

template<class Arguments>
struct AllKeyParameters : std::false_type {};

template<class... A>
struct AllKeyParameters<std::tuple<A...>> : std::bool_constant<(KeyParameter<A> && ...)> {};

// A function whose every parameter the container can resolve by type.
template<class F>
concept KeyConstructor = requires {
    typename CallableTraits<std::remove_cvref_t<F>>::Result;
    typename CallableTraits<std::remove_cvref_t<F>>::Arguments;
} && AllKeyParameters<typename CallableTraits<std::remove_cvref_t<F>>::Arguments>::value
    && !std::is_void_v<typename CallableTraits<std::remove_cvref_t<F>>::Result>;

} // namespace Orvella::Detail
