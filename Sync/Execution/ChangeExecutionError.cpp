#include "Sync/Execution/ChangeExecutionError.hpp"

namespace Sync {

std::string ChangeExecutionError::description() const
{
    std::string text;
    switch (code) {
    case Code::unsafePath:
        text = "Server path refused: " + path;
        break;
    case Code::localEditConflict:
        text = "Local edit kept, server change not applied: " + path;
        break;
    }
    if (!detail.empty()) {
        text += " (" + detail + ")";
    }
    return text;
}

} // namespace Sync
