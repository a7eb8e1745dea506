#include "Quarlink/Requests/DummyResponses.hpp"

namespace Quarlink {

DataResponse dummyResponse(const Platform::URL& url, const JSON& body)
{
    auto data = JSONEncoder::serialize(body);
    return DataResponse { data ? std::move(*data) : Platform::Data(), HTTPURLResponse(url, 200, { { "Content-Type", jsonContentType } }) };
}

} // namespace Quarlink
