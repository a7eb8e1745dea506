#include "Orvella/Popover/ByteCountFormatter.hpp"

#include <array>

namespace Orvella {

namespace {

__extension__ using Wide = unsigned __int128;

struct Unit {
    const char* name;
    int fractionDigits;
};

constexpr std::array<Unit, 5> units { { { "Byte", 0 }, { "KB", 0 }, { "MB", 1 }, { "GB", 2 }, { "TB", 2 } } };

Wide power(Wide base, int exponent)
{
    Wide result = 1;
    while (exponent-- > 0) {
        result *= base;
    }
    return result;
}

std::string digits(Wide value)
{
    std::string text;
    do {
        text.insert(text.begin(), static_cast<char>('0' + static_cast<int>(value % 10)));
        value /= 10;
    } while (value != 0);
    return text;
}

// "1234567" → "1.234.567".
std::string grouped(std::string integer)
{
    for (auto position = static_cast<std::ptrdiff_t>(integer.size()) - 3; position > 0; position -= 3) {
        integer.insert(static_cast<std::size_t>(position), ".");
    }
    return integer;
}

} // namespace

std::string formatByteCount(std::int64_t bytes)
{
    if (bytes == 0) {
        return "Null KB";
    }
    const bool negative = bytes < 0;
    const Wide magnitude = negative ? Wide(-(bytes + 1)) + 1 : Wide(bytes);

    std::size_t unit = 0;
    while (unit + 1 < units.size() && magnitude >= power(1024, static_cast<int>(unit + 1))) {
        ++unit;
    }
    Wide scaled = 0;
    Wide scale = 1;
    for (;;) {
        scale = power(10, units[unit].fractionDigits);
        const Wide divisor = power(1024, static_cast<int>(unit));
        scaled = (magnitude * scale * 2 + divisor) / (divisor * 2);
        if (unit + 1 < units.size() && scaled >= 1024 * scale) {
            ++unit;
            continue;
        }
        break;
    }
    std::string text = grouped(digits(scaled / scale));
    if (Wide fraction = scaled % scale; fraction != 0) {
        std::string fractionText = digits(fraction);
        fractionText.insert(0, static_cast<std::size_t>(units[unit].fractionDigits) - fractionText.size(), '0');
        while (fractionText.back() == '0') {
            fractionText.pop_back();
        }
        text += "," + fractionText;
    }
    return (negative ? "-" : "") + text + " " + units[unit].name;
}

} // namespace Orvella
