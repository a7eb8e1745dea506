#pragma once

#include "Platform/Foundation/Data.hpp"

#include <optional>

namespace Quarlink {

// An image received from the service: its encoded bytes and the pixel size
// they describe. Made only from bytes that carry a readable PNG, JPEG, GIF or
// BMP header; the pixels themselves are decoded by whoever shows the image.
// A plain value.
class Image {
public:
    enum class Format { png, jpeg, gif, bmp };

    // The most pixels on a side an image may announce.
    static constexpr int maximumSide = 16'384;

    // The image the bytes hold; absent when they are no image of a known
    // format, or when the header announces more than `maximumSide` pixels
    // on either side.
    [[nodiscard]] static std::optional<Image> create(Platform::Data data);

    [[nodiscard]] Format format() const { return m_format; }
    [[nodiscard]] int width() const { return m_width; }
    [[nodiscard]] int height() const { return m_height; }
    [[nodiscard]] const Platform::Data& data() const { return m_data; }

private:
    Image(Format format, int width, int height, Platform::Data data)
        : m_format(format)
        , m_width(width)
        , m_height(height)
        , m_data(std::move(data))
    {
    }

    Format m_format;
    int m_width;
    int m_height;
    Platform::Data m_data;
};

} // namespace Quarlink
