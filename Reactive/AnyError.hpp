#pragma once
// A copyable, type-erased error that can hold the error of any stream.

#include "Reactive/Error.hpp"

#include <concepts>
#include <memory>
#include <sstream>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace Reactive {

class AnyError;

namespace Detail {

template<class T>
concept Streamable = requires(std::ostream& stream, const T& value) { stream << value; };

template<class T>
concept HasDescription = requires(const T& value) {
    { value.description() } -> std::convertible_to<std::string>;
};

template<class T>
std::string describe(const T& value)
{
    if constexpr (HasDescription<T>) {
        return value.description();
    } else if constexpr (Streamable<T>) {
        std::ostringstream stream;
        stream << value;
        return stream.str();
    } else {
        return typeid(T).name();
    }
}

// Class types that are not final are inherited from, so that a later
// `dynamic_cast` to one of their bases (a cross-cast) finds them.
template<class E>
constexpr bool inheritable = std::is_class_v<E> && !std::is_final_v<E>;

}

// Box that turns an error type not derived from `Error` into one.
template<class E>
class ErrorValue;

template<class E>
    requires(!Detail::inheritable<E>)
class ErrorValue<E> final : public Error {
public:
    explicit ErrorValue(E value) : m_value(std::move(value)) {}
    const E& value() const { return m_value; }
    std::string description() const override { return Detail::describe(m_value); }

private:
    E m_value;
};

template<class E>
    requires Detail::inheritable<E>
class ErrorValue<E> final : public Error, public E {
public:
    explicit ErrorValue(E value) : E(std::move(value)) {}
    const E& value() const { return *this; }
    std::string description() const override { return Detail::describe(static_cast<const E&>(*this)); }
};

// Holds any error behind a shared, immutable pointer. Copies share the error.
// An `AnyError` made from an `AnyError` is a copy of it; it never nests.
// Thread-safe for reading from several threads at once.
class AnyError final : public Error {
public:
    // Wraps a custom error; types not derived from `Error` are boxed in `ErrorValue`.
    template<class E>
        requires(!std::same_as<std::remove_cvref_t<E>, AnyError> && !std::is_convertible_v<E, std::shared_ptr<const Error>>)
    AnyError(E&& error) // NOLINT: implicit on purpose, like the stream's error conversion.
    {
        using Stored = std::remove_cvref_t<E>;
        if constexpr (std::derived_from<Stored, Error>) {
            m_error = std::make_shared<const Stored>(std::forward<E>(error));
        } else {
            m_error = std::make_shared<const ErrorValue<Stored>>(std::forward<E>(error));
        }
    }

    // Takes an error already shared elsewhere; a null pointer is not allowed.
    explicit AnyError(std::shared_ptr<const Error> error);

    AnyError(const AnyError&) = default;
    AnyError(AnyError&&) noexcept = default;
    AnyError& operator=(const AnyError&) = default;
    AnyError& operator=(AnyError&&) noexcept = default;

    // The wrapped error as `T`, or null. Works for the stored type, any of its
    // bases (also by cross-cast) and the value inside an `ErrorValue` box.
    template<class T>
    const T* as() const
    {
        if constexpr (std::is_class_v<T>) {
            if (auto* direct = dynamic_cast<const T*>(m_error.get())) {
                return direct;
            }
        }
        if constexpr (!std::derived_from<T, Error>) {
            if (auto* box = dynamic_cast<const ErrorValue<T>*>(m_error.get())) {
                return &box->value();
            }
        }
        return nullptr;
    }

    template<class T>
    bool is() const { return as<T>() != nullptr; }

    // The wrapped error itself (never an `AnyError`).
    const Error& underlyingError() const { return *m_error; }
    const std::shared_ptr<const Error>& pointer() const { return m_error; }

    std::string description() const override { return m_error->description(); }

private:
    std::shared_ptr<const Error> m_error;
};

}
