#pragma once

// Test support for the endpoint operations: the local service answering with
// canned bodies, and what it received.

#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"
#include "Quarlink/Tests/SessionFixture.hpp"

#include <nlohmann/json.hpp>

namespace Quarlink::Testing {

class EndpointFixture : public SessionFixture {
protected:
    // Answers the next request of `method` on `path` (below "/v2.0/") with `body`.
    void answer(const std::string& method, const std::string& path, std::string body, int status = 200,
        std::string contentType = "application/json")
    {
        m_server->script(method, "/v2.0/" + path,
            { .status = status, .body = std::move(body), .contentType = std::move(contentType) }, 1);
    }

    // Answers with the service's error of that code.
    void answerError(const std::string& method, const std::string& path, int status, const std::string& code)
    {
        m_server->script(method, "/v2.0/" + path,
            { .status = status,
                .headers = { { "X-Error-Code", code }, { "X-Error-Message", "Fehler " + code } },
                .body = R"({"code":)" + code + R"(,"message":"Fehler"})" },
            1);
    }

    [[nodiscard]] LocalCloud::RecordedRequest lastRequest() const
    {
        auto log = m_server->requestLog();
        EXPECT_FALSE(log.empty());
        return log.empty() ? LocalCloud::RecordedRequest {} : log.back();
    }

    // The JSON body the last request carried.
    [[nodiscard]] nlohmann::json lastBody() const { return nlohmann::json::parse(lastRequest().body); }

    // The one value of a producer that completed after it; fails the test otherwise.
    template<class V>
    static std::optional<V> onlyValue(const std::vector<Reactive::Event<V, Reactive::AnyError>>& events)
    {
        if (events.size() != 2 || !events[0].isValue() || !events[1].isCompleted()) {
            ADD_FAILURE() << "expected one value then completion, got " << events.size() << " events"
                          << (events.empty() || !events.back().isFailed() ? "" : ": " + events.back().error().description());
            return std::nullopt;
        }
        return events[0].value();
    }

    // The error of type T (beneath any presentable wrapping) a producer failed with; absent when it
    // failed otherwise or not at all.
    template<class T, class V>
    static std::optional<T> failureOf(const std::vector<Reactive::Event<V, Reactive::AnyError>>& events)
    {
        if (events.empty() || !events.back().isFailed())
            return std::nullopt;
        auto underlying = underlyingError(events.back().error());
        if (const auto* error = underlying.template as<T>())
            return *error;
        return std::nullopt;
    }

    // The body a producer's parsing error carries.
    template<class V>
    static std::optional<std::string> parsingErrorBody(const std::vector<Reactive::Event<V, Reactive::AnyError>>& events)
    {
        auto error = failureOf<APIClientError>(events);
        if (!error || error->errorCase() != APIClientError::Case::parsingError)
            return std::nullopt;
        return error->body().toString();
    }

    template<class V>
    static bool failedDecoding(const std::vector<Reactive::Event<V, Reactive::AnyError>>& events)
    {
        return failureOf<DecodingError>(events).has_value();
    }

    template<class V>
    static std::optional<RemoteError::Case> remoteErrorOf(const std::vector<Reactive::Event<V, Reactive::AnyError>>& events)
    {
        auto error = failureOf<RemoteError>(events);
        return error ? std::optional(error->errorCase()) : std::nullopt;
    }
};

} // namespace Quarlink::Testing
