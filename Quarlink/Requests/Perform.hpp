#pragma once

#include "Quarlink/Client/Progress.hpp"
#include "Quarlink/Requests/RequestCompletion.hpp"
#include "Quarlink/Requests/RequestFilter.hpp"
#include "Quarlink/Requests/TaskKinds.hpp"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <type_traits>
#include <variant>

namespace Quarlink {

namespace Detail {

// One start of a performed request. Every event that reaches it (from the
// gate, the transfer, the recovery, the start handle, the subscriber's
// disposal) goes through one serialising signal, so the steps run one at a
// time, in arrival order, on the thread that delivers them, and no lock is
// held while a hook, an observer, a start or a dispose runs.
template<class R>
class PerformRun final : public std::enable_shared_from_this<PerformRun<R>> {
public:
    using Value = typename R::SuccessValue;
    using Response = RequestResponse<R>;
    using Downstream = Reactive::Observer<Value, Reactive::AnyError>;

    struct GateInput {
        Reactive::Event<bool, Reactive::AnyError> event;
    };
    struct GateStarted {
        Reactive::AnyDisposable handle;
    };
    // A transfer's event with its response already validated and parsed.
    struct TransferInput {
        std::uint64_t generation;
        Reactive::Event<Value, Reactive::AnyError> event;
    };
    struct RecoveryInput {
        Reactive::Event<Value, Reactive::AnyError> event;
    };
    struct Cancel { };
    using Input = std::variant<GateInput, GateStarted, TransferInput, RecoveryInput, Cancel>;
    using Inputs = Reactive::Observer<Input, Reactive::NoError>;

    PerformRun(R request, std::weak_ptr<APIClient> client, std::shared_ptr<Progress> progress, Downstream downstream,
        RenewalHistory history)
        : m_request(std::move(request))
        , m_history(history)
        , m_client(std::move(client))
        , m_progress(std::move(progress))
        , m_downstream(std::move(downstream))
    {
    }

    static void start(R request, std::weak_ptr<APIClient> client, std::shared_ptr<Progress> progress,
        const Reactive::SignalProducer<bool, Reactive::AnyError>& gate, Downstream downstream, Reactive::Lifetime lifetime,
        RenewalHistory history)
    {
        auto run = std::make_shared<PerformRun>(std::move(request), std::move(client), std::move(progress), std::move(downstream),
            history);
        auto [signal, inputs] = Reactive::Signal<Input, Reactive::NoError>::pipe();
        run->m_inputs = inputs;
        // The signal holds the run until the run closes it.
        signal.observeValues([run](const Input& input) { run->receive(input); });
        lifetime.observeEnded([run = std::weak_ptr<PerformRun>(run), inputs] {
            if (auto strong = run.lock())
                strong->m_cancelled.store(true);
            inputs.send(Cancel {});
        });
        auto handle = gate.start(Reactive::Observer<bool, Reactive::AnyError>::make(
            [inputs](Reactive::Event<bool, Reactive::AnyError>&& event) { inputs.send(GateInput { std::move(event) }); }));
        inputs.send(GateStarted { std::move(handle) });
    }

private:
    void receive(const Input& input)
    {
        if (m_ended) {
            // Late arrivals: only handles still need disposing, and files nobody will receive removing.
            if (const auto* started = std::get_if<GateStarted>(&input))
                started->handle.dispose();
            if (const auto* transfer = std::get_if<TransferInput>(&input))
                discardDropped(m_request, transfer->event);
            return;
        }
        std::visit([this](const auto& value) { handle(value); }, input);
    }

    void handle(const GateStarted& started) { m_gateHandle = started.handle; }
    void handle(const Cancel&) { end(); }

    void handle(const GateInput& input)
    {
        if (m_recovering)
            return;
        const auto& event = input.event;
        switch (event.kind()) {
        case Reactive::Event<bool, Reactive::AnyError>::Kind::value:
            doGateAnswer(event.value());
            return;
        case Reactive::Event<bool, Reactive::AnyError>::Kind::failed:
            doRecover(event.error());
            return;
        case Reactive::Event<bool, Reactive::AnyError>::Kind::completed:
            // A running transfer goes on; without one the request is done.
            if (!m_transferRunning)
                finish(Reactive::Event<Value, Reactive::AnyError>::makeCompleted());
            return;
        case Reactive::Event<bool, Reactive::AnyError>::Kind::interrupted:
            finish(Reactive::Event<Value, Reactive::AnyError>::makeInterrupted());
            return;
        }
    }

    // Only a changed answer counts; each one replaces the transfer before it.
    void doGateAnswer(bool mayRun)
    {
        if (m_lastAnswer == mayRun)
            return;
        m_lastAnswer = mayRun;
        ++m_generation;
        std::exchange(m_transferHandle, Reactive::AnyDisposable()).dispose();
        m_attempt.reset();
        m_transferRunning = mayRun;
        if (mayRun)
            doStartTransfer();
    }

    void doStartTransfer()
    {
        auto client = m_client.lock();
        if (!client) {
            finish(Reactive::Event<Value, Reactive::AnyError>::makeInterrupted());
            return;
        }
        // The transfer's own progress (uploads, downloads) becomes a child of
        // the request's while its producer is made, and only then.
        m_progress->becomeCurrent(1);
        // The session's epoch is taken before the transfer can pick up the
        // session: a renewal that ends in between makes it look older, never newer.
        if (waitsForRenewal(m_request))
            m_attempt = beginSessionAttempt(*client);
        auto transfer = performURLRequest(m_request, *client);
        m_progress->resignCurrent();
        auto generation = m_generation;
        auto inputs = m_inputs;
        // Validation and parsing run at once on the delivering thread, so a
        // download is placed before the next event of its transfer arrives.
        m_transferHandle = transfer.start(Reactive::Observer<Response, Reactive::AnyError>::make(
            [inputs, generation, request = m_request](Reactive::Event<Response, Reactive::AnyError>&& event) {
                inputs.send(TransferInput { generation, outcome(request, std::move(event)) });
            }));
    }

    static Reactive::Event<Value, Reactive::AnyError> outcome(const R& request, Reactive::Event<Response, Reactive::AnyError>&& event)
    {
        if (!event.isValue())
            return std::move(event).template terminalAs<Value>();
        // The body goes on by move: a listing's takes megabytes.
        auto validated = validateResponse(request, std::move(event).value());
        if (!validated) {
            discardFailed(event.value());
            return Reactive::Event<Value, Reactive::AnyError>::makeFailed(validated.error());
        }
        auto parsed = parseResponse(request, *validated);
        if (!parsed) {
            discardFailed(*validated);
            return Reactive::Event<Value, Reactive::AnyError>::makeFailed(parsed.error());
        }
        return Reactive::Event<Value, Reactive::AnyError>::makeValue(std::move(*parsed));
    }

    // A delivered download file belongs to the request from its delivery on;
    // when the request fails with an error instead of a file, nobody else
    // would ever remove it. A file the placement already moved is not there any more.
    static void discardFailed(const Response& response)
    {
        if constexpr (taskKindOf<R> == TaskKind::download)
            discardDownload(response);
        else
            (void)response;
    }

    // A placed download whose value reaches nobody (the run ended, or a later
    // answer of the gate or a recovery replaced its transfer): a file handed
    // over without a destination would stay in the temporary folder for good.
    // A file placed at its destination stays there, as the request asked.
    static void discardDropped(const R& request, const Reactive::Event<Value, Reactive::AnyError>& event)
    {
        if constexpr (taskKindOf<R> == TaskKind::download && !Overrides<R, RequestMember::parse>) {
            if (!event.isValue() || request.destinationURL())
                return;
            std::optional<Platform::URL> file;
            if constexpr (std::is_same_v<Value, Platform::URL>)
                file = event.value();
            else if constexpr (std::is_same_v<Value, ProgressEvent<Platform::URL>>)
                file = event.value().downloadedValue();
            if (file) {
                std::error_code ignored;
                std::filesystem::remove(file->path(), ignored);
            }
        } else {
            (void)request;
            (void)event;
        }
    }

    void handle(const TransferInput& input)
    {
        // Events of a transfer that a later answer replaced are stale.
        if (m_recovering || input.generation != m_generation) {
            discardDropped(m_request, input.event);
            return;
        }
        const auto& event = input.event;
        if (event.isValue()) {
            deliver(event);
        } else if (event.isFailed()) {
            doRecover(event.error());
        } else if (event.isCompleted()) {
            m_transferRunning = false;
            // The service answered it in full under its session.
            if (m_attempt)
                m_attempt->end(true);
            finish(Reactive::Event<Value, Reactive::AnyError>::makeCompleted());
        } else {
            finish(Reactive::Event<Value, Reactive::AnyError>::makeInterrupted());
        }
    }

    // The chain so far failed: its upstream is disposed and the recovery takes its place.
    void doRecover(const Reactive::AnyError& error)
    {
        m_recovering = true;
        ++m_generation;
        std::exchange(m_transferHandle, Reactive::AnyDisposable()).dispose();
        std::exchange(m_gateHandle, Reactive::AnyDisposable()).dispose();
        AttemptSession session;
        if (m_attempt)
            session = { .renewals = m_attempt->owner(), .epoch = m_attempt->epoch() };
        m_attempt.reset();
        auto client = m_client.lock();
        if (!client) {
            finish(Reactive::Event<Value, Reactive::AnyError>::makeInterrupted());
            return;
        }
        auto recovery = recoverRequest(m_request, error, client, m_history, session);
        auto inputs = m_inputs;
        m_recoveryHandle = recovery.start(Reactive::Observer<Value, Reactive::AnyError>::make(
            [inputs](Reactive::Event<Value, Reactive::AnyError>&& event) { inputs.send(RecoveryInput { std::move(event) }); }));
    }

    void handle(const RecoveryInput& input)
    {
        if (input.event.isValue())
            deliver(input.event);
        else
            finish(input.event);
    }

    // Values go through the completion hook first, then to the subscriber.
    void deliver(const Reactive::Event<Value, Reactive::AnyError>& event)
    {
        callHook(event);
        m_downstream.sendEvent(event);
    }

    void finish(const Reactive::Event<Value, Reactive::AnyError>& event)
    {
        callHook(event);
        end();
        m_downstream.sendEvent(event);
    }

    void callHook(const Reactive::Event<Value, Reactive::AnyError>& event)
    {
        if (m_cancelled.load() || !(event.isValue() || event.isFailed()))
            return;
        auto client = m_client.lock();
        if (!client)
            return;
        if (event.isValue())
            requestDidFinish(m_request, *client, Reactive::Result<Value, Reactive::AnyError>(event.value()));
        else
            requestDidFinish(m_request, *client, Reactive::Result<Value, Reactive::AnyError>(std::unexpect, event.error()));
    }

    // Disposes everything upstream and closes the input signal, which lets go of the run.
    void end()
    {
        if (m_ended)
            return;
        m_ended = true;
        std::exchange(m_transferHandle, Reactive::AnyDisposable()).dispose();
        std::exchange(m_gateHandle, Reactive::AnyDisposable()).dispose();
        std::exchange(m_recoveryHandle, Reactive::AnyDisposable()).dispose();
        m_attempt.reset();
        m_inputs.sendCompleted();
    }

    const R m_request;
    // What the request's earlier attempts went through.
    const RenewalHistory m_history;
    const std::weak_ptr<APIClient> m_client;
    const std::shared_ptr<Progress> m_progress;
    Downstream m_downstream;
    Inputs m_inputs;
    std::atomic<bool> m_cancelled { false };

    // Touched only while the input signal delivers, one input at a time.
    bool m_ended = false;
    bool m_recovering = false;
    bool m_transferRunning = false;
    std::optional<bool> m_lastAnswer;
    std::uint64_t m_generation = 0;
    Reactive::AnyDisposable m_gateHandle;
    Reactive::AnyDisposable m_transferHandle;
    Reactive::AnyDisposable m_recoveryHandle;
    // The running transfer's session, for a request that waits for renewals.
    std::unique_ptr<SessionRenewals::Attempt> m_attempt;
};

} // namespace Detail

// Runs `request` with `client` as one cold producer of its results.
//
// Calling this makes the request's progress object (one unit, a child of the
// progress current on the calling thread) and asks the gate
// (`shouldPerform`: the installed request filter, or one `true`) for its
// producer; nothing else happens. Each start then runs the chain afresh:
// the gate's changed answers start (true) or cancel (false) the transfer;
// each raw response is validated and parsed; a failure of the gate, transfer,
// validation or parsing is replaced by the request's recovery; every value
// and the failure that survive recovery pass the completion hook and then
// reach the subscriber; completion and interruption skip the hook.
//
// The chain completes when the transfer completes, or when the gate
// completes while no transfer runs; it is interrupted when the gate or the
// transfer is. Disposing of a start disposes of the gate, the transfer and the
// recovery; no hook runs after it. The client is held weakly: a start after
// the client is gone ends as interrupted.
//
// Threading: no thread of its own; each step runs on the thread delivering
// its event, one step at a time.
template<class R>
[[nodiscard]] Reactive::SignalProducer<typename R::SuccessValue, Reactive::AnyError> perform(const R& request,
    const std::shared_ptr<APIClient>& client)
{
    return Detail::performAttempt(request, client, {});
}

// `perform` of a request with the history of its earlier attempts.
template<class R>
[[nodiscard]] Reactive::SignalProducer<typename R::SuccessValue, Reactive::AnyError> Detail::performAttempt(const R& request,
    const std::shared_ptr<APIClient>& client, RenewalHistory history)
{
    static_assert(checkServiceRequest<R>());
    using Value = typename R::SuccessValue;
    // A request that knows it cannot be sent as it is (a time stamp beyond what
    // its query can carry) is refused here, whoever made it, before any gate or transfer.
    if constexpr (requires { { request.isValid() } -> std::convertible_to<bool>; }) {
        if (!request.isValid())
            return Reactive::SignalProducer<Value, Reactive::AnyError>::error(Reactive::AnyError(APIClientError::invalidRequest()));
    }
    auto progress = Progress::makeWithCurrentParent(1);
    progress->setCancellable(true);
    auto gate = shouldPerform(request, *client);
    std::weak_ptr<APIClient> weakClient = client;
    return Reactive::SignalProducer<Value, Reactive::AnyError>(
        [request, weakClient, progress, gate, history](Reactive::Observer<Value, Reactive::AnyError> observer, Reactive::Lifetime lifetime) {
            Detail::PerformRun<R>::start(request, weakClient, progress, gate, std::move(observer), std::move(lifetime), history);
        });
}

} // namespace Quarlink
