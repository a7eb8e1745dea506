#include "Platform/Desktop/PlainText.hpp"

namespace Platform {

std::string plainLine(std::string_view text)
{
    std::string line;
    line.reserve(text.size());
    for (std::size_t index = 0; index < text.size(); ++index) {
        auto character = static_cast<unsigned char>(text[index]);
        if (character < 0x20 || character == 0x7F) {
            line += ' ';
        } else if (character == 0xC2 && index + 1 < text.size() && static_cast<unsigned char>(text[index + 1]) >= 0x80
            && static_cast<unsigned char>(text[index + 1]) <= 0x9F) {
            line += ' '; // a C1 control character (U+0080 to U+009F)
            ++index;
        } else {
            line += static_cast<char>(character);
        }
    }
    return line;
}

std::string escapedMarkup(std::string_view text)
{
    std::string escaped;
    for (char character : text) {
        switch (character) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        default:
            escaped += character;
        }
    }
    return escaped;
}

} // namespace Platform
