#include "Quarlink/Shares/DeclinePendingShareRequest.hpp"

namespace Quarlink {

void DeclinePendingShareRequest::encode(JSONObjectWriter& writer) const
{
    writer.encode("shareID", shareID);
}

} // namespace Quarlink
