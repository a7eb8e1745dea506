#include "Quarlink/Shares/CreatePublicShareRequest.hpp"

namespace Quarlink {

void CreatePublicShareRequest::encode(JSONObjectWriter& writer) const
{
    writer.encode("type", type);
    writer.encode("fileID", fileID);
    writer.encode("validTo", validTo);
}

} // namespace Quarlink
