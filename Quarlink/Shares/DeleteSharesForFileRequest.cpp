#include "Quarlink/Shares/DeleteSharesForFileRequest.hpp"

namespace Quarlink {

std::vector<URLQueryItem> DeleteSharesForFileRequest::queryItems() const
{
    switch (type) {
    case ShareType::private_:
        return { { "type", "private" } };
    case ShareType::public_:
        return { { "type", "public" } };
    case ShareType::all:
        break;
    }
    return {};
}

} // namespace Quarlink
