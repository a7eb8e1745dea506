#include "Quarlink/Shares/CreatePrivateShareRequest.hpp"

namespace Quarlink {

JSON CreatePrivateShareRequest::jsonParameters() const
{
    // The keys are the service's own, written as they are.
    return JSON {
        { "type", "private" },
        { "file_id", fileID },
        { "message", message },
        { "share_with", recipients },
    };
}

} // namespace Quarlink
