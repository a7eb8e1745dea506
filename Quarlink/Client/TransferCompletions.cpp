#include "Quarlink/Client/TransferCompletions.hpp"

#include "Quarlink/Errors/TransportErrors.hpp"

#include <filesystem>

namespace Quarlink {

namespace {

constexpr const char* illegalState = "illegal state: url session needs to return either a response or an error";

Reactive::AnyError cancellationError()
{
    return transportError(Platform::TransportError(Platform::TransportError::Code::cancelled, 0, "session was reset"));
}

} // namespace

void runOn(const std::weak_ptr<WorkQueue>& queue, std::function<void()> work)
{
    if (auto strong = queue.lock())
        strong->async(std::move(work));
    else
        work();
}

void TransferCompletion::completeData(std::expected<Platform::DataTaskResponse, Platform::TransportError>&& result) const
{
    if (lifetime.hasEnded())
        return;
    if (!result) {
        observer.sendFailed(transportError(result.error()));
        return;
    }
    auto response = httpURLResponse(result->response, requestURL);
    if (!response) {
        observer.sendFailed(Reactive::AnyError(TransportContractError(illegalState)));
        return;
    }
    DataResponse value { Platform::Data(result->data.data(), result->data.size()), std::move(*response) };
    // The transport's copy goes before the body is decoded, not after.
    std::string().swap(result->data);
    if (!lifetime.hasEnded()) {
        observer.send(std::move(value));
        observer.sendCompleted();
    }
}

void TransferCompletion::failCancelled() const
{
    if (!lifetime.hasEnded())
        observer.sendFailed(cancellationError());
    finish();
}

void DownloadCompletion::complete(Platform::URLSessionTask& task,
    std::expected<Platform::DownloadTaskResponse, Platform::TransportError> result, const std::weak_ptr<WorkQueue>& queue) const
{
    using Event = ProgressEvent<DownloadResponse>;
    auto observer = this->observer;
    auto lifetime = this->lifetime;
    const auto& finish = this->finish;
    if (result) {
        auto response = httpURLResponse(result->response, requestURL);
        // Only a usable response takes the file along; the session removes
        // what is left under its own name when this returns.
        std::optional<std::filesystem::path> kept;
        if (response && response->statusCode() < 400) {
            std::filesystem::path renamed = result->location;
            renamed += ".delivering";
            std::error_code renameError;
            std::filesystem::rename(result->location, renamed, renameError);
            if (!renameError)
                kept = renamed;
        }
        // The transfer is over once its file has a name of its own: its place
        // in the request queue goes to the next one now, not after the
        // delivery and whatever the receiver does with the file.
        finish();
        runOn(queue, [observer, lifetime, kept, response] {
            // The delivered file is the receiver's from the moment it is sent:
            // the event may wait behind another delivery or cross to another
            // thread, so nothing here may touch the file after sending it.
            if (lifetime.hasEnded()) {
                // Nobody is left to receive the file.
                if (kept) {
                    std::error_code ignored;
                    std::filesystem::remove(*kept, ignored);
                }
            } else if (response) {
                std::optional<Platform::URL> file;
                if (kept)
                    file = Platform::URL::fileURL(kept->string());
                observer.send(Event::downloaded(DownloadResponse { file, *response }));
                observer.sendCompleted();
            } else {
                observer.sendFailed(Reactive::AnyError(TransportContractError(illegalState)));
            }
        });
        return;
    }
    auto error = result.error();
    std::optional<HTTPURLResponse> response;
    if (error.code() != Platform::TransportError::Code::cancelled) {
        if (auto head = task.response())
            response = httpURLResponse(*head, requestURL);
    }
    finish();
    runOn(queue, [observer, error, response] {
        if (response) {
            observer.send(Event::downloaded(DownloadResponse { std::nullopt, *response }));
            observer.sendCompleted();
        } else {
            observer.sendFailed(transportError(error));
        }
    });
}

Reactive::AnyDisposable observeCancellation(const std::shared_ptr<Progress>& progress,
    const std::shared_ptr<Platform::URLSessionTask>& task)
{
    std::weak_ptr<Platform::URLSessionTask> weakTask = task;
    return progress->cancelledProducer().startWithValues([weakTask](const bool& cancelled) {
        if (!cancelled)
            return;
        if (auto strong = weakTask.lock())
            strong->cancel();
    });
}

Reactive::AnyDisposable forwardFraction(const std::shared_ptr<Progress>& progress,
    Reactive::Observer<ProgressEvent<DownloadResponse>, Reactive::AnyError> observer)
{
    struct Forwarding {
        bool active = true;
        std::optional<double> last;
    };
    auto forwarding = std::make_shared<Forwarding>();
    return progress->fractionCompletedProducer().startWithValues([observer, forwarding](const double& fraction) {
        if (!forwarding->active)
            return;
        if (fraction >= 1.0) {
            forwarding->active = false;
            return;
        }
        if (forwarding->last && fraction <= *forwarding->last)
            return;
        forwarding->last = fraction;
        observer.send(ProgressEvent<DownloadResponse>::progress(fraction));
    });
}

} // namespace Quarlink
