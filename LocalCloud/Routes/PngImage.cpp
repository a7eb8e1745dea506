#include "LocalCloud/Routes/PngImage.hpp"

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace LocalCloud {

namespace {

void appendBigEndian(std::string& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xff);
}

void appendChunk(std::string& out, const char* type, const std::string& data)
{
    appendBigEndian(out, static_cast<std::uint32_t>(data.size()));
    std::string typed = std::string(type, 4) + data;
    out += typed;
    auto crc = crc32(0L, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
    appendBigEndian(out, static_cast<std::uint32_t>(crc));
}

} // namespace

std::string placeholderPNG(int width, int height, bool folder)
{
    // A light card with a darker frame, a folder tab for folders and a folded corner for files.
    const unsigned char background[3] = { 0xee, 0xf0, 0xf3 };
    const unsigned char frame[3] = { 0x8a, 0x94, 0xa6 };
    const unsigned char accent[3] = { 0x3b, 0x82, 0xd6 };
    int border = std::max(1, std::min(width, height) / 20);
    // Drawn and compressed a row at a time: what is held is the compressed
    // picture (small, as it is mostly one colour), never all its pixels.
    z_stream stream {};
    deflateInit(&stream, Z_BEST_SPEED);
    std::string compressed;
    std::string row;
    std::vector<unsigned char> out(64 * 1024);
    auto pump = [&](int flush) {
        do {
            stream.next_out = out.data();
            stream.avail_out = static_cast<uInt>(out.size());
            deflate(&stream, flush);
            compressed.append(reinterpret_cast<const char*>(out.data()), out.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    };
    for (int y = 0; y < height; ++y) {
        row.assign(1, '\0');
        for (int x = 0; x < width; ++x) {
            const unsigned char* colour = background;
            bool edge = x < border || y < border || x >= width - border || y >= height - border;
            bool mark = folder ? (y < height / 5 && x < width / 2) : (x > width - width / 4 && y < height / 4
                && (x - (width - width / 4)) > y);
            if (edge)
                colour = frame;
            else if (mark)
                colour = accent;
            row.append(reinterpret_cast<const char*>(colour), 3);
        }
        stream.next_in = reinterpret_cast<Bytef*>(row.data());
        stream.avail_in = static_cast<uInt>(row.size());
        pump(Z_NO_FLUSH);
    }
    stream.next_in = nullptr;
    stream.avail_in = 0;
    pump(Z_FINISH);
    deflateEnd(&stream);

    std::string png = "\x89PNG\r\n\x1a\n";
    std::string header;
    appendBigEndian(header, static_cast<std::uint32_t>(width));
    appendBigEndian(header, static_cast<std::uint32_t>(height));
    // 8 bits per sample, colour type 2 (RGB), deflate, adaptive filtering, no interlace.
    header += std::string("\x08\x02\x00\x00\x00", 5);
    appendChunk(png, "IHDR", header);
    appendChunk(png, "IDAT", compressed);
    appendChunk(png, "IEND", {});
    return png;
}

std::string imageTypeOf(const std::string& head)
{
    if (head.starts_with("\x89PNG\r\n\x1a\n"))
        return "image/png";
    if (head.starts_with("\xff\xd8\xff"))
        return "image/jpeg";
    if (head.starts_with("GIF87a") || head.starts_with("GIF89a"))
        return "image/gif";
    return {};
}

} // namespace LocalCloud
