#pragma once

#include <QImage>

#include <optional>
#include <string>

namespace Orvella {

// The picture of a file row, `size` pixels square at most: an image file
// scaled down from its own pixels (read with `QImageReader`), any other file
// the icon of its type from the icon theme; a path that is missing or absent
// (a row without safe local path) the generic file icon. GUI thread only.
[[nodiscard]] QImage fileThumbnail(const std::optional<std::string>& path, int size = 64);

} // namespace Orvella
