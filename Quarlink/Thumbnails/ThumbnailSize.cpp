#include "Quarlink/Thumbnails/ThumbnailSize.hpp"

#include <string>

namespace Quarlink {

std::vector<Platform::URL::QueryItem> ThumbnailSize::queryItems() const
{
    return { { "x", std::to_string(m_width) }, { "y", std::to_string(m_height) } };
}

} // namespace Quarlink
