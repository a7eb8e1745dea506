#include "Quarlink/Client/TransferCompletions.hpp"

#include "Quarlink/Client/TransportErrors.hpp"

#include <filesystem>

namespace Quarlink {

namespace {

constexpr const char* illegalState = "illegal state: url session needs to return either a response or an error";

Reactive::AnyError cancellationError()
{
    return transportError(Platform::URLError(Platform::URLError::Code::cancelled, 0, "session was reset"));
}

} // namespace

void runOn(const std::weak_ptr<WorkQueue>& queue, std::function<void()> work)
{
    if (auto strong = queue.lock())
        strong->async(std::move(work));
    else
        work();
}

void TransferCompletion::completeData(const std::expected<Platform::DataTaskResponse, Platform::URLError>& result,
    Finish order) const
{
    if (lifetime.hasEnded()) {
        finish();
        return;
    }
    if (!result) {
        observer.sendFailed(transportError(result.error()));
        finish();
        return;
    }
    auto response = httpURLResponse(result->response, requestURL);
    if (!response) {
        observer.sendFailed(Reactive::AnyError(TransportContractError(illegalState)));
        finish();
        return;
    }
    DataResponse value { Platform::Data(result->data.data(), result->data.size()), std::move(*response) };
    if (order == Finish::beforeValue)
        finish();
    if (!lifetime.hasEnded()) {
        observer.send(std::move(value));
        observer.sendCompleted();
    }
    if (order == Finish::afterValue)
        finish();
}

void TransferCompletion::failCancelled() const
{
    if (!lifetime.hasEnded())
        observer.sendFailed(cancellationError());
    finish();
}

void DownloadCompletion::complete(Platform::URLSessionTask& task,
    std::expected<Platform::DownloadTaskResponse, Platform::URLError> result, const std::weak_ptr<WorkQueue>& queue) const
{
    using Event = ProgressEvent<DownloadResponse>;
    auto observer = this->observer;
    auto finish = this->finish;
    if (result) {
        // The session removes its file when this returns; a new name keeps it
        // for the delivery on the delegate queue.
        std::filesystem::path kept = result->location;
        kept += ".delivering";
        std::error_code renameError;
        std::filesystem::rename(result->location, kept, renameError);
        std::optional<Platform::URL> file;
        if (!renameError)
            file = Platform::URL::fileURL(kept.string());
        auto response = httpURLResponse(result->response, requestURL);
        runOn(queue, [observer, finish, file, response, kept] {
            // Whatever the receiver left of the file goes before the stream ends.
            std::error_code ignored;
            if (response) {
                observer.send(Event::downloaded(DownloadResponse { file, *response }));
                std::filesystem::remove(kept, ignored);
                observer.sendCompleted();
            } else {
                std::filesystem::remove(kept, ignored);
                observer.sendFailed(Reactive::AnyError(TransportContractError(illegalState)));
            }
            finish();
        });
        return;
    }
    auto error = result.error();
    std::optional<HTTPURLResponse> response;
    if (error.code() != Platform::URLError::Code::cancelled) {
        if (auto head = task.response())
            response = httpURLResponse(*head, requestURL);
    }
    runOn(queue, [observer, finish, error, response] {
        if (response) {
            observer.send(Event::downloaded(DownloadResponse { std::nullopt, *response }));
            observer.sendCompleted();
        } else {
            observer.sendFailed(transportError(error));
        }
        finish();
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
