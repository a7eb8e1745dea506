#pragma once

#include "Quarlink/Client/APIClient.hpp"
#include "Quarlink/Envelope/QuotaAnnouncement.hpp"
#include "Quarlink/Envelope/RequestFailureNotification.hpp"
#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"
#include "Quarlink/Requests/RequestInfos.hpp"
#include "Quarlink/Requests/SessionRecovery.hpp"
#include "Quarlink/Requests/SessionRefresher.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/DownloadPlacement.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/RemoteErrorValidation.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/ResponseParsing.hpp"

namespace Quarlink {

// The steps `perform` runs on each response and outcome, each the request's
// own member when it declares one, else the default. All run on the thread
// that delivers the event and take no lock.

// Default: a status of 400 or more is the service's error; a finished download
// without a file is `invalidDownload`. The response is taken along only when
// it passes; a failed one is left as it was.
template<class R>
[[nodiscard]] std::expected<RequestResponse<R>, Reactive::AnyError> validateResponse(const R& request, RequestResponse<R>&& response)
{
    if constexpr (Overrides<R, RequestMember::validate>)
        return request.validate(response);
    else
        return validate(std::move(response));
}

// Default: by result type for bodies in memory (`parseData`); placement for downloads.
template<class R>
[[nodiscard]] std::expected<typename R::SuccessValue, Reactive::AnyError> parseResponse(const R& request, const RequestResponse<R>& response)
{
    if constexpr (Overrides<R, RequestMember::parse>)
        return request.parse(response);
    else if constexpr (taskKindOf<R> == TaskKind::download)
        return placeDownload(response, request.destinationURL(), request.shouldOverwrite());
    else
        return parseData<typename R::SuccessValue>(response);
}

// The failure path of a finished request: the record of `error` (when it is of
// a reported kind) posted as "RequestFailedNotification" with `client` as
// sender. The URL request in the record is rebuilt under the client's current
// base URL, from the request's redacted copy when it declares one. Requests
// whose traits say they report no failures post nothing.
template<class R>
void requestDidReceive(const R& request, APIClient& client, const Reactive::AnyError& error)
{
    if constexpr (requestTraits<R>().reportsFailures) {
        auto base = client.endpoint()->baseURL();
        std::optional<Platform::URLRequest> urlRequest;
        if constexpr (Overrides<R, RequestMember::redactedForReport>)
            urlRequest = makeURLRequest(request.redactedForReport(), base);
        else
            urlRequest = makeURLRequest(request, base);
        postRequestFailure(static_cast<const APIClient*>(&client), urlRequest, error);
    }
}

// The completion hook, once per value and once for a failure. Default: an
// enveloped request announces the quota of a successful package and hands a
// failure on as it is; any other request ignores success and hands on the
// error beneath the presentable wrapping (`underlyingError`).
template<class R>
void requestDidFinish(const R& request, APIClient& client, const Reactive::Result<typename R::SuccessValue, Reactive::AnyError>& result)
{
    if constexpr (Overrides<R, RequestMember::clientDidFinish>) {
        request.clientDidFinish(client, result);
    } else if constexpr (requestTraits<R>().enveloped) {
        if (!result) {
            requestDidReceive(request, client, result.error());
        } else if (auto quota = result->quota()) {
            announceQuota(static_cast<const APIClient*>(&client), *quota);
        }
    } else if (!result) {
        requestDidReceive(request, client, underlyingError(result.error()));
    }
}

// Whether the answers to `request` tell how its session fares: it needs the
// session and waits for its renewal (a login's own steps do not).
template<class R>
[[nodiscard]] bool waitsForRenewal(const R& request)
{
    if constexpr (Overrides<R, RequestMember::recover> || !requestTraits<R>().needsAuthentication) {
        (void)request;
        return false;
    } else if constexpr (requires { { request.renewsSession } -> std::convertible_to<bool>; }) {
        return static_cast<bool>(request.renewsSession);
    } else {
        return true;
    }
}

// What takes a failed chain's place. Default: the failure itself; for a request
// that needs authentication, the session renewal of `recoverByRenewingSession`
// (`history`: what the request's earlier attempts went through; `session`: the
// session the failed attempt was sent with). A request whose `renewsSession`
// member is false is a step of a login or of a renewal itself: waiting for a
// renewal would wait for itself, so its rejection fails it at once.
template<class R>
[[nodiscard]] Reactive::SignalProducer<typename R::SuccessValue, Reactive::AnyError> recoverRequest(const R& request,
    const Reactive::AnyError& error, const std::shared_ptr<APIClient>& client, Detail::RenewalHistory history = {},
    const Detail::AttemptSession& session = {})
{
    using Producer = Reactive::SignalProducer<typename R::SuccessValue, Reactive::AnyError>;
    if constexpr (Overrides<R, RequestMember::recover>) {
        return request.recover(error, *client);
    } else if constexpr (requestTraits<R>().needsAuthentication) {
        if (!waitsForRenewal(request))
            return Producer::error(error);
        return recoverByRenewingSession(request, error, client, history, session);
    } else {
        (void)request;
        (void)client;
        (void)history;
        (void)session;
        return Producer::error(error);
    }
}

} // namespace Quarlink
