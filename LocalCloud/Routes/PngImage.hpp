#pragma once

#include <cstdint>
#include <string>

namespace LocalCloud {

// A PNG file (8-bit RGB, zlib-compressed) of `width` × `height` pixels: the
// picture the service shows for an item that has no image of its own.
[[nodiscard]] std::string placeholderPNG(int width, int height, bool folder);

// The image type of content that is a PNG, JPEG or GIF image, by its first bytes; empty otherwise.
[[nodiscard]] std::string imageTypeOf(const std::string& head);

} // namespace LocalCloud
