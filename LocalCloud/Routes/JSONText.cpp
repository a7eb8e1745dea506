#include "LocalCloud/Routes/JSONText.hpp"

#include <cstdint>

namespace LocalCloud {

namespace {

constexpr std::string_view replacement = "\xEF\xBF\xBD";

// How many bytes of the well-formed sequence starting at `at` there are:
// the whole sequence when it is complete, otherwise how many of its first
// bytes still fit a well-formed one (0 for a byte that starts none).
struct Sequence {
    std::size_t length = 0;
    bool complete = false;
};

Sequence sequenceAt(std::string_view text, std::size_t at)
{
    const auto lead = static_cast<std::uint8_t>(text[at]);
    std::size_t length = 0;
    std::uint8_t low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        // No overlong forms, no surrogates.
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        // No overlong forms, nothing past U+10FFFF.
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return {};
    }
    std::size_t taken = 1;
    for (; taken < length && at + taken < text.size(); ++taken) {
        const auto byte = static_cast<std::uint8_t>(text[at + taken]);
        if (byte < low || byte > high)
            return { taken, false };
        low = 0x80;
        high = 0xBF;
    }
    return { taken, taken == length };
}

} // namespace

void appendJSONString(std::string& out, std::string_view text)
{
    static constexpr char hex[] = "0123456789abcdef";
    out.reserve(out.size() + text.size() + 2);
    out += '"';
    std::size_t at = 0;
    while (at < text.size()) {
        // The plain run up to the next byte that needs a look.
        auto end = at;
        while (end < text.size()) {
            const auto byte = static_cast<std::uint8_t>(text[end]);
            if (byte < 0x20 || byte == '"' || byte == '\\' || byte >= 0x80)
                break;
            ++end;
        }
        out.append(text.data() + at, end - at);
        at = end;
        if (at == text.size())
            break;
        const auto byte = static_cast<std::uint8_t>(text[at]);
        if (byte < 0x80) {
            out += '\\';
            switch (byte) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '\b': out += 'b'; break;
            case '\t': out += 't'; break;
            case '\n': out += 'n'; break;
            case '\f': out += 'f'; break;
            case '\r': out += 'r'; break;
            default:
                out += "u00";
                out += hex[byte >> 4];
                out += hex[byte & 0xF];
            }
            ++at;
            continue;
        }
        const auto sequence = sequenceAt(text, at);
        if (sequence.complete) {
            out.append(text.data() + at, sequence.length);
            at += sequence.length;
            continue;
        }
        out += replacement;
        // The byte that broke the sequence may start the next character.
        at += sequence.length == 0 ? 1 : sequence.length;
    }
    out += '"';
}

} // namespace LocalCloud
