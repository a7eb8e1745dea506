#pragma once

#include "Quarlink/Requests/RequestInfos.hpp"

namespace Quarlink {

// A canned successful answer for a request that declares `dummyResponseJSON()`,
// made without the service: status 200 for the request's URL under `base`,
// the one header field "Content-Type: application/json", and the JSON written
// compactly (an empty body when it cannot be written). Nothing in the system
// sends it; it serves demonstrations and tests. Synchronous; never fails.
[[nodiscard]] DataResponse dummyResponse(const Platform::URL& url, const JSON& body);

template<class R>
    requires Overrides<R, RequestMember::dummyResponseJSON>
[[nodiscard]] DataResponse dummyResponse(const R& request, const Platform::URL& base)
{
    return dummyResponse(requestURL(request, base), request.dummyResponseJSON());
}

} // namespace Quarlink
