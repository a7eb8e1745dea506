#include "Quarlink/Debug/FlushRequest.hpp"

namespace Quarlink {

Platform::URLRequest FlushRequest::urlRequest(const Platform::URL& base) const
{
    Platform::URLRequest request;
    request.url = base.deletingLastPathComponent().appendingPathComponent(path()).absoluteString();
    request.method = "GET";
    return request;
}

} // namespace Quarlink
