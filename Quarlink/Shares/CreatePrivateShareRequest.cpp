#include "Quarlink/Shares/CreatePrivateShareRequest.hpp"

namespace Quarlink {

OrderedJSON CreatePrivateShareRequest::jsonParameters() const
{
    // The keys are the service's own, written as they are.
    return OrderedJSON {
        { "type", "private" },
        { "file_id", fileID },
        { "message", message },
        { "share_with", recipients },
    };
}

} // namespace Quarlink
