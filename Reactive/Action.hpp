#pragma once
// A unit of work that runs at most once at a time and reports its outcome.

#include "Reactive/ActionError.hpp"
#include "Reactive/BindingTarget.hpp"
#include "Reactive/Lifetime.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Property.hpp"
#include "Reactive/SignalProducer.hpp"

#include <functional>
#include <memory>

namespace Reactive {

namespace Detail {

template<class I, class O, class E>
class ActionState : public std::enable_shared_from_this<ActionState<I, O, E>> {
public:
    using Execute = std::function<SignalProducer<O, E>(const I&)>;

    // One execution: its events, for the callers that started or joined it.
    struct Execution {
        Execution() : pipe(Signal<O, E>::pipe()) {}
        std::pair<Signal<O, E>, Observer<O, E>> pipe;
    };

    ActionState(Property<bool> enabledIf, Execute execute)
        : enabledIf(std::move(enabledIf))
        , execute(std::move(execute))
        , executing(std::make_shared<PropertyState<bool>>(false))
        , events(Signal<Event<O, E>, NoError>::pipe())
        , disabledErrors(Signal<Unit, NoError>::pipe())
    {
    }

    ~ActionState()
    {
        events.second.sendCompleted();
        disabledErrors.second.sendCompleted();
    }

    enum class Outcome { started, joined, refused };

    // Atomically: joins the running execution (when `join`), or starts a new
    // one when enabled, or refuses. `observe` is called with the execution
    // that was started or joined, while no execution can end; the
    // observation it returns lands in `observation`, to be registered by the
    // caller once no lock is held.
    template<class Observe>
    Outcome begin(bool join, std::shared_ptr<Execution>& started, AnyDisposable& observation, Observe&& observe)
    {
        Outcome outcome = Outcome::refused;
        executing->modifyIf([&](bool& isExecuting) {
            if (isExecuting) {
                if (join) {
                    observation = observe(*current);
                    outcome = Outcome::joined;
                }
                return false;
            }
            if (!enabledIf.value()) {
                return false;
            }
            isExecuting = true;
            current = std::make_shared<Execution>();
            started = current;
            observation = observe(*current);
            outcome = Outcome::started;
            return true;
        });
        if (outcome == Outcome::refused) {
            disabledErrors.second.send(Unit());
        }
        return outcome;
    }

    // Runs the work of a started execution and returns the handle that cancels it.
    AnyDisposable run(const std::shared_ptr<Execution>& execution, const I& input)
    {
        auto self = this->shared_from_this();
        return execute(input).start(Observer<O, E>::make([self, execution](Event<O, E>&& event) {
            self->events.second.send(event);
            if (event.isTerminating()) {
                // Idle again before the outcome is delivered, so a reaction to it may apply the action anew.
                self->executing->modifyIf([&](bool& isExecuting) {
                    self->current.reset();
                    isExecuting = false;
                    return true;
                });
            }
            execution->pipe.second.sendEvent(std::move(event));
        }));
    }

    Property<bool> enabledIf;
    Execute execute;
    std::shared_ptr<PropertyState<bool>> executing;
    std::shared_ptr<Execution> current; // Guarded by the lock of `executing`.
    std::pair<Signal<Event<O, E>, NoError>, Observer<Event<O, E>, NoError>> events;
    std::pair<Signal<Unit, NoError>, Observer<Unit, NoError>> disabledErrors;
};

}

// An action runs work (a producer made from an input) at most once at a
// time. Applying it while it executes, or while `enabledIf` is false, is
// refused: the apply producer fails with `ActionError::disabled` and
// `disabledErrors` sends a value. Every event of every execution goes to
// `events` (and `values`, `errors`, `completed`).
// The action is an object with identity: neither copyable nor movable. When
// it is destroyed its signals complete and its `lifetime()` ends; producers
// made from it hold it weakly.
// Threading: every member may be called from any thread. The check for
// "enabled and not executing" and the switch to executing are atomic.
template<class I, class O, class E>
class Action {
    using State = Detail::ActionState<I, O, E>;

public:
    using Execute = std::function<SignalProducer<O, E>(const I&)>;

    explicit Action(Execute execute) : Action(Property<bool>::constant(true), std::move(execute)) {}
    Action(Property<bool> enabledIf, Execute execute)
        : m_state(std::make_shared<Detail::ActionState<I, O, E>>(std::move(enabledIf), std::move(execute)))
        , m_values(events().filterMap([](const Event<O, E>& event) {
            return event.isValue() ? std::optional<O>(event.value()) : std::nullopt;
        }))
        , m_errors(events().filterMap([](const Event<O, E>& event) {
            return event.isFailed() ? std::optional<E>(event.error()) : std::nullopt;
        }))
        , m_completed(events().filterMap([](const Event<O, E>& event) {
            return event.isCompleted() ? std::optional<Unit>(Unit()) : std::nullopt;
        }))
        , m_isExecuting(m_state->executing)
        , m_isEnabled(m_state->enabledIf.combineLatestWith(m_isExecuting).map([](const std::pair<bool, bool>& both) {
            return both.first && !both.second;
        }))
        , m_lifetime(Lifetime::make())
    {
    }
    Action(const Action&) = delete;
    Action& operator=(const Action&) = delete;

    // Each start of the result tries to begin one execution with `input`
    // and forwards its events; disposing the start cancels the execution.
    SignalProducer<O, ActionError<E>> apply(I input) const { return apply(m_state, std::move(input)); }

    // A target that applies the action to every value and starts the result,
    // ignoring its outcome (a refusal shows on `disabledErrors`); it ends
    // when the action is destroyed and never touches a destroyed action.
    BindingTarget<I> bindingTarget() const
    {
        std::weak_ptr<State> weakState = m_state;
        return { lifetime(), [weakState](const I& input) { apply(weakState, input).start(); } };
    }

    // Follows the running execution if there is one, otherwise starts one
    // with `input`; decided atomically at each start of the result. The
    // result sends that execution's values and ends as it ends, with the
    // action's own error. Disposing the result never cancels the execution.
    // A disabled action fails at once with `ActionError::disabled` when `E`
    // can hold it (as `AnyError` can), and is interrupted otherwise.
    SignalProducer<O, E> startOrObserve(I input) const
    {
        std::weak_ptr<State> weakState = m_state;
        return SignalProducer<O, E>([weakState, input](Observer<O, E> observer, Lifetime lifetime) {
            auto state = weakState.lock();
            if (!state) {
                observer.sendInterrupted();
                return;
            }
            std::shared_ptr<typename State::Execution> execution;
            AnyDisposable observation;
            const auto outcome = state->begin(true, execution, observation, [&](typename State::Execution& running) {
                return running.pipe.first.observe(observer);
            });
            lifetime += observation;
            switch (outcome) {
            case State::Outcome::started:
                state->run(execution, input); // The handle is dropped: the execution outlives this start.
                return;
            case State::Outcome::joined:
                return;
            case State::Outcome::refused:
                break;
            }
            if constexpr (std::is_constructible_v<E, ActionError<E>>) {
                observer.sendFailed(E(ActionError<E>::disabled()));
            } else {
                observer.sendInterrupted();
            }
        });
    }

    Property<bool> isExecuting() const { return m_isExecuting; }
    // True when `enabledIf` is true and the action is not executing.
    Property<bool> isEnabled() const { return m_isEnabled; }

    Signal<Event<O, E>, NoError> events() const { return m_state->events.first; }
    Signal<O, NoError> values() const { return m_values; }
    Signal<E, NoError> errors() const { return m_errors; }
    Signal<Unit, NoError> completed() const { return m_completed; }
    // One value for every refused application.
    Signal<Unit, NoError> disabledErrors() const { return m_state->disabledErrors.first; }

    // Ends when the action is destroyed; bindings into it end with it.
    Lifetime lifetime() const { return m_lifetime.first; }

private:
    static SignalProducer<O, ActionError<E>> apply(std::weak_ptr<State> weakState, I input)
    {
        return SignalProducer<O, ActionError<E>>([weakState, input](Observer<O, ActionError<E>> observer, Lifetime lifetime) {
            auto state = weakState.lock();
            if (!state) {
                observer.sendFailed(ActionError<E>::disabled());
                return;
            }
            std::shared_ptr<typename State::Execution> execution;
            AnyDisposable observation;
            const auto outcome = state->begin(false, execution, observation, [&](typename State::Execution& running) {
                return SignalProducer<O, E>(running.pipe.first)
                    .mapError([](E&& error) { return ActionError<E>::producerFailed(std::move(error)); })
                    .start(observer);
            });
            lifetime += observation;
            if (outcome != State::Outcome::started) {
                observer.sendFailed(ActionError<E>::disabled());
                return;
            }
            lifetime += state->run(execution, input);
        });
    }

    std::shared_ptr<State> m_state;
    Signal<O, NoError> m_values;
    Signal<E, NoError> m_errors;
    Signal<Unit, NoError> m_completed;
    Property<bool> m_isExecuting;
    Property<bool> m_isEnabled;
    // Last, so that it ends first when the action is destroyed: bindings
    // stop before anything else of the action goes away.
    std::pair<Lifetime, Lifetime::Token> m_lifetime;
};

}
