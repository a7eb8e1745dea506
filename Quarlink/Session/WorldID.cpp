#include "Quarlink/Session/WorldID.hpp"

namespace Quarlink {

std::string_view rawValue(WorldID world)
{
    switch (world) {
    case WorldID::brisanto: return "4";
    case WorldID::talvern: return "2";
    case WorldID::ravik: return "5";
    }
    return "2";
}

std::optional<WorldID> worldIDFromRawValue(std::string_view text)
{
    for (auto world : { WorldID::brisanto, WorldID::talvern, WorldID::ravik }) {
        if (rawValue(world) == text)
            return world;
    }
    return std::nullopt;
}

} // namespace Quarlink
