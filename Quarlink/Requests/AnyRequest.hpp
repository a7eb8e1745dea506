#pragma once

#include "Platform/Network/URLRequest.hpp"
#include "Quarlink/Requests/RequestInfos.hpp"

#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

namespace Quarlink {

template<class R>
[[nodiscard]] bool requestIsEligibleForLowBandWidthConnections(const R& request)
{
    if constexpr (Overrides<R, RequestMember::isEligibleForLowBandWidthConnections>)
        return request.isEligibleForLowBandWidthConnections();
    else
        return taskKindOf<R> == TaskKind::data && !Overrides<R, RequestMember::urlRequest>;
}

// A copy of any request value, for code that must hold "some request" (a
// request filter deciding on it). Offers the request's information and the
// value itself to whoever knows its type. Immutable; copies share the value;
// any thread.
class AnyRequest {
public:
    template<class R>
    explicit AnyRequest(R request)
        : m_box(std::make_shared<const Box<R>>(std::move(request)))
    {
    }

    // The value when it is an `R`; null otherwise.
    template<class R>
    [[nodiscard]] const R* as() const
    {
        if (m_box->type() != typeid(R))
            return nullptr;
        return &static_cast<const Box<R>&>(*m_box).request;
    }

    [[nodiscard]] std::string path() const { return m_box->path(); }
    [[nodiscard]] HTTPMethod method() const { return m_box->method(); }
    [[nodiscard]] std::vector<URLQueryItem> queryItems() const { return m_box->queryItems(); }
    [[nodiscard]] TaskKind taskKind() const { return m_box->taskKind(); }
    [[nodiscard]] bool isEligibleForLowBandWidthConnections() const { return m_box->isEligibleForLowBandWidthConnections(); }
    // The URL request the request would be sent as under `base`.
    [[nodiscard]] Platform::URLRequest urlRequest(const Platform::URL& base) const { return m_box->urlRequest(base); }

private:
    struct Concept {
        virtual ~Concept() = default;
        virtual const std::type_info& type() const = 0;
        virtual std::string path() const = 0;
        virtual HTTPMethod method() const = 0;
        virtual std::vector<URLQueryItem> queryItems() const = 0;
        virtual TaskKind taskKind() const = 0;
        virtual bool isEligibleForLowBandWidthConnections() const = 0;
        virtual Platform::URLRequest urlRequest(const Platform::URL& base) const = 0;
    };

    template<class R>
    struct Box final : Concept {
        explicit Box(R value)
            : request(std::move(value))
        {
        }
        const std::type_info& type() const override { return typeid(R); }
        std::string path() const override { return request.path(); }
        HTTPMethod method() const override { return requestMethod(request); }
        std::vector<URLQueryItem> queryItems() const override { return requestQueryItems(request); }
        TaskKind taskKind() const override { return taskKindOf<R>; }
        bool isEligibleForLowBandWidthConnections() const override { return requestIsEligibleForLowBandWidthConnections(request); }
        Platform::URLRequest urlRequest(const Platform::URL& base) const override { return makeURLRequest(request, base); }
        R request;
    };

    std::shared_ptr<const Concept> m_box;
};

} // namespace Quarlink
