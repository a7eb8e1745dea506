#include "Quarlink/Shares/UpdatePublicShareDurationRequest.hpp"

namespace Quarlink {

void UpdatePublicShareDurationRequest::encode(JSONObjectWriter& writer) const
{
    writer.encode("shareID", shareID);
    writer.encode("validTo", validTo);
}

} // namespace Quarlink
