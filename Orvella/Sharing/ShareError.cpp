#include "Orvella/Sharing/ShareError.hpp"

namespace Orvella {

ShareError ShareError::notShareable(bool isFolder)
{
    if (isFolder)
        return ShareError("Der Ordner kann nicht freigegeben werden.",
            "Der Ordner kann nicht freigeben werden, da er bereits freigegeben ist, sich in einem freigegebenen Ordner "
            "befindet oder freigegebene Objekte enthält.");
    return ShareError("Die Datei kann nicht freigeben werden.",
        "Die Datei kann nicht freigeben werden, da sich die Datei in einem freigegebenen Ordner befindet.");
}

} // namespace Orvella
