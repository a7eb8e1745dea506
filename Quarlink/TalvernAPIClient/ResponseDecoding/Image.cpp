#include "Quarlink/TalvernAPIClient/ResponseDecoding/Image.hpp"

#include <array>
#include <cstdint>
#include <span>

namespace Quarlink {

namespace {

// Wide enough for every header's numbers, so none is cut before it is checked.
struct Size {
    std::int64_t width;
    std::int64_t height;
};

std::uint32_t bigEndian(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t count)
{
    std::uint32_t value = 0;
    for (std::size_t index = 0; index < count; ++index)
        value = (value << 8) | bytes[offset + index];
    return value;
}

std::uint32_t littleEndian(std::span<const std::uint8_t> bytes, std::size_t offset, std::size_t count)
{
    std::uint32_t value = 0;
    for (std::size_t index = count; index > 0; --index)
        value = (value << 8) | bytes[offset + index - 1];
    return value;
}

bool startsWith(std::span<const std::uint8_t> bytes, std::initializer_list<std::uint8_t> prefix)
{
    if (bytes.size() < prefix.size())
        return false;
    std::size_t index = 0;
    for (auto byte : prefix) {
        if (bytes[index++] != byte)
            return false;
    }
    return true;
}

std::optional<Size> pngSize(std::span<const std::uint8_t> bytes)
{
    // Signature, then the IHDR chunk: length, "IHDR", width, height.
    if (bytes.size() < 24 || !startsWith(bytes, { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A }))
        return std::nullopt;
    if (bigEndian(bytes, 12, 4) != 0x49484452)
        return std::nullopt;
    return Size { bigEndian(bytes, 16, 4), bigEndian(bytes, 20, 4) };
}

std::optional<Size> gifSize(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 10 || !(startsWith(bytes, { 'G', 'I', 'F', '8', '7', 'a' }) || startsWith(bytes, { 'G', 'I', 'F', '8', '9', 'a' })))
        return std::nullopt;
    return Size { littleEndian(bytes, 6, 2), littleEndian(bytes, 8, 2) };
}

std::optional<Size> bmpSize(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 26 || !startsWith(bytes, { 'B', 'M' }))
        return std::nullopt;
    std::int64_t width = static_cast<std::int32_t>(littleEndian(bytes, 18, 4));
    std::int64_t height = static_cast<std::int32_t>(littleEndian(bytes, 22, 4));
    // A negative height marks rows stored top-down.
    return Size { width, height < 0 ? -height : height };
}

std::optional<Size> jpegSize(std::span<const std::uint8_t> bytes)
{
    if (!startsWith(bytes, { 0xFF, 0xD8 }))
        return std::nullopt;
    std::size_t offset = 2;
    while (offset + 4 <= bytes.size()) {
        if (bytes[offset] != 0xFF)
            return std::nullopt;
        auto marker = bytes[offset + 1];
        if (marker == 0xFF) {
            ++offset;
            continue;
        }
        auto length = bigEndian(bytes, offset + 2, 2);
        // Start-of-frame markers carry the size; C4, C8 and CC are other tables.
        bool startOfFrame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (startOfFrame) {
            if (offset + 9 > bytes.size())
                return std::nullopt;
            return Size { bigEndian(bytes, offset + 7, 2), bigEndian(bytes, offset + 5, 2) };
        }
        if (length < 2)
            return std::nullopt;
        offset += 2 + length;
    }
    return std::nullopt;
}

} // namespace

std::optional<Image> Image::create(Platform::Data data)
{
    auto bytes = data.bytes();
    std::optional<Size> size;
    Format format = Format::png;
    if ((size = pngSize(bytes)))
        format = Format::png;
    else if ((size = jpegSize(bytes)))
        format = Format::jpeg;
    else if ((size = gifSize(bytes)))
        format = Format::gif;
    else if ((size = bmpSize(bytes)))
        format = Format::bmp;
    if (!size || size->width <= 0 || size->height <= 0)
        return std::nullopt;
    // Whoever shows the image decodes all its pixels: a header announcing a
    // giant would make it allocate gigabytes for a few bytes of answer.
    if (size->width > maximumSide || size->height > maximumSide)
        return std::nullopt;
    return Image(format, static_cast<int>(size->width), static_cast<int>(size->height), std::move(data));
}

} // namespace Quarlink
