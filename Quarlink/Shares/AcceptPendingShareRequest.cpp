#include "Quarlink/Shares/AcceptPendingShareRequest.hpp"

namespace Quarlink {

void AcceptPendingShareRequest::encode(JSONObjectWriter& writer) const
{
    writer.encode("shareID", shareID);
    writer.encode("targetParentFolderID", targetParentFolderID);
    writer.encode("targetFolderName", targetFolderName);
}

} // namespace Quarlink
