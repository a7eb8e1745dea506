#pragma once
// One event of a stream: a value, or one of the three terminal events.

#include <cassert>
#include <functional>
#include <type_traits>
#include <utility>
#include <variant>

namespace Reactive {

// A stream sends any number of value events followed by at most one terminal
// event (failed, completed or interrupted). `V` and `E` may be the same type.
template<class V, class E>
class Event {
public:
    enum class Kind { value, failed, completed, interrupted };

    static Event makeValue(V value) { return Event(Kind::value, Payload(std::in_place_index<1>, std::move(value))); }
    static Event makeFailed(E error) { return Event(Kind::failed, Payload(std::in_place_index<2>, std::move(error))); }
    static Event makeCompleted() { return Event(Kind::completed, Payload()); }
    static Event makeInterrupted() { return Event(Kind::interrupted, Payload()); }

    Kind kind() const { return m_kind; }
    bool isValue() const { return m_kind == Kind::value; }
    bool isFailed() const { return m_kind == Kind::failed; }
    bool isCompleted() const { return m_kind == Kind::completed; }
    bool isInterrupted() const { return m_kind == Kind::interrupted; }
    // Failed, completed and interrupted end a stream.
    bool isTerminating() const { return m_kind != Kind::value; }

    // Precondition: `isValue()`.
    const V& value() const& { assert(isValue()); return std::get<1>(m_payload); }
    V& value() & { assert(isValue()); return std::get<1>(m_payload); }
    V&& value() && { assert(isValue()); return std::get<1>(std::move(m_payload)); }

    // Precondition: `isFailed()`.
    const E& error() const& { assert(isFailed()); return std::get<2>(m_payload); }
    E& error() & { assert(isFailed()); return std::get<2>(m_payload); }
    E&& error() && { assert(isFailed()); return std::get<2>(std::move(m_payload)); }

    // The same event with the value transformed; terminal events pass as they are.
    template<class F>
    auto mapValue(F&& transform) && -> Event<std::invoke_result_t<F, V&&>, E>
    {
        using U = std::invoke_result_t<F, V&&>;
        switch (m_kind) {
        case Kind::value: return Event<U, E>::makeValue(std::forward<F>(transform)(std::move(*this).value()));
        case Kind::failed: return Event<U, E>::makeFailed(std::move(*this).error());
        case Kind::completed: return Event<U, E>::makeCompleted();
        case Kind::interrupted: break;
        }
        return Event<U, E>::makeInterrupted();
    }

    // The same event with the error transformed; other events pass as they are.
    template<class F>
    auto mapError(F&& transform) && -> Event<V, std::invoke_result_t<F, E&&>>
    {
        using G = std::invoke_result_t<F, E&&>;
        switch (m_kind) {
        case Kind::value: return Event<V, G>::makeValue(std::move(*this).value());
        case Kind::failed: return Event<V, G>::makeFailed(std::forward<F>(transform)(std::move(*this).error()));
        case Kind::completed: return Event<V, G>::makeCompleted();
        case Kind::interrupted: break;
        }
        return Event<V, G>::makeInterrupted();
    }

    // A terminal event carried over to another value type. Precondition: not a value.
    template<class U>
    Event<U, E> terminalAs() &&
    {
        assert(isTerminating());
        if (m_kind == Kind::failed) {
            return Event<U, E>::makeFailed(std::move(*this).error());
        }
        return m_kind == Kind::completed ? Event<U, E>::makeCompleted() : Event<U, E>::makeInterrupted();
    }

    bool operator==(const Event& other) const
        requires requires(const V& a, const E& b) { a == a; b == b; }
    {
        return m_kind == other.m_kind && m_payload == other.m_payload;
    }

private:
    using Payload = std::variant<std::monostate, V, E>;

    Event(Kind kind, Payload payload) : m_kind(kind), m_payload(std::move(payload)) {}

    Kind m_kind;
    Payload m_payload;
};

}
