#include "Platform/Foundation/Unicode.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utf8proc.h>

namespace Platform {

namespace {

enum class Form { Composed, Decomposed };

// Normalises valid UTF-8; reports false (and leaves `result` alone) for invalid input.
bool normalise(std::string_view text, Form form, std::string& result)
{
    int options = UTF8PROC_STABLE | (form == Form::Composed ? UTF8PROC_COMPOSE : UTF8PROC_DECOMPOSE);
    utf8proc_uint8_t* output = nullptr;
    utf8proc_ssize_t length = ::utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
        static_cast<utf8proc_ssize_t>(text.size()), &output, static_cast<utf8proc_option_t>(options));
    if (length < 0)
        return false;
    result.assign(reinterpret_cast<const char*>(output), static_cast<std::size_t>(length));
    std::free(output);
    return true;
}

// utf8proc_map stops at a NUL byte only with UTF8PROC_NULLTERM, which we never pass,
// so embedded NULs are kept; they are ASCII and so never change equality.
std::string normalised(std::string_view text, Form form)
{
    if (isASCII(text))
        return std::string(text);
    std::string result;
    if (!normalise(text, form, result))
        return std::string(text);
    return result;
}

bool isCombiningMark(utf8proc_int32_t codePoint)
{
    const utf8proc_property_t* property = ::utf8proc_get_property(codePoint);
    return property->combining_class != 0 || property->category == UTF8PROC_CATEGORY_MN
        || property->category == UTF8PROC_CATEGORY_MC || property->category == UTF8PROC_CATEGORY_ME;
}

} // namespace

bool isASCII(std::string_view text)
{
    // Eight bytes at a time: nearly every path is ASCII, and each is asked
    // about several times per run.
    constexpr std::uint64_t highBits = 0x8080'8080'8080'8080;
    std::size_t offset = 0;
    for (; offset + sizeof(std::uint64_t) <= text.size(); offset += sizeof(std::uint64_t)) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + offset, sizeof word);
        if (word & highBits)
            return false;
    }
    for (; offset < text.size(); ++offset)
        if (static_cast<unsigned char>(text[offset]) >= 0x80)
            return false;
    return true;
}

bool isValidUTF8(std::string_view text)
{
    if (isASCII(text))
        return true;
    auto bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    auto remaining = static_cast<utf8proc_ssize_t>(text.size());
    while (remaining > 0) {
        utf8proc_int32_t codePoint = 0;
        auto length = ::utf8proc_iterate(bytes, remaining, &codePoint);
        if (length <= 0)
            return false;
        bytes += length;
        remaining -= length;
    }
    return true;
}

std::string precomposed(std::string_view text)
{
    return normalised(text, Form::Composed);
}

std::string decomposed(std::string_view text)
{
    return normalised(text, Form::Decomposed);
}

bool canonicallyEqual(std::string_view left, std::string_view right)
{
    if (left == right)
        return true;
    // Pure ASCII is already normalised. One ASCII side alone is not enough to
    // decide: U+212A KELVIN SIGN normalises to "K".
    if (isASCII(left) && isASCII(right))
        return false;
    return precomposed(left) == precomposed(right);
}

bool canonicallyHasPrefix(std::string_view text, std::string_view prefix)
{
    if (prefix.empty())
        return true;
    std::string composedText;
    std::string composedPrefix;
    std::string_view whole = text;
    std::string_view start = prefix;
    if (!isASCII(text)) {
        composedText = precomposed(text);
        whole = composedText;
    }
    if (!isASCII(prefix)) {
        composedPrefix = precomposed(prefix);
        start = composedPrefix;
    }
    if (!whole.starts_with(start))
        return false;
    if (whole.size() == start.size())
        return true;

    // A byte prefix of valid UTF-8 that is itself valid UTF-8 ends between
    // characters; what remains is whether a combining mark follows.
    utf8proc_int32_t next = 0;
    utf8proc_ssize_t length = ::utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(whole.data() + start.size()),
        static_cast<utf8proc_ssize_t>(whole.size() - start.size()), &next);
    if (length < 0) {
        // Invalid bytes follow. A valid prefix ended on a character of its own,
        // and garbage is no combining mark; an invalid prefix may have cut a
        // sequence in two, which never counts.
        std::string check;
        return isASCII(start) || normalise(start, Form::Composed, check);
    }
    return !isCombiningMark(next);
}

std::string lossyUTF8(std::string_view text)
{
    if (isASCII(text))
        return std::string(text);
    auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    auto length = static_cast<utf8proc_ssize_t>(text.size());
    std::string result;
    result.reserve(text.size());
    utf8proc_ssize_t offset = 0;
    while (offset < length) {
        utf8proc_int32_t point = 0;
        auto consumed = ::utf8proc_iterate(bytes + offset, length - offset, &point);
        if (consumed <= 0) {
            result += "\xEF\xBF\xBD";
            ++offset;
            continue;
        }
        result.append(text.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(consumed)));
        offset += consumed;
    }
    return result;
}

std::u32string codePoints(std::string_view text)
{
    std::u32string points;
    auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    utf8proc_ssize_t offset = 0;
    auto length = static_cast<utf8proc_ssize_t>(text.size());
    while (offset < length) {
        utf8proc_int32_t point = 0;
        auto consumed = ::utf8proc_iterate(bytes + offset, length - offset, &point);
        if (consumed <= 0) {
            point = 0xFFFD;
            consumed = 1;
        }
        points.push_back(static_cast<char32_t>(point));
        offset += consumed;
    }
    return points;
}

bool isUppercaseLetter(char32_t codePoint)
{
    auto category = ::utf8proc_category(static_cast<utf8proc_int32_t>(codePoint));
    return category == UTF8PROC_CATEGORY_LU || category == UTF8PROC_CATEGORY_LT;
}

bool isLowercaseLetter(char32_t codePoint)
{
    return ::utf8proc_category(static_cast<utf8proc_int32_t>(codePoint)) == UTF8PROC_CATEGORY_LL;
}

std::string lowercased(char32_t codePoint)
{
    // The one letter whose full lower case is two characters.
    if (codePoint == 0x0130)
        return "i\xCC\x87";
    utf8proc_uint8_t buffer[4];
    auto length = ::utf8proc_encode_char(::utf8proc_tolower(static_cast<utf8proc_int32_t>(codePoint)), buffer);
    return std::string(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
}

std::size_t CanonicalHash::operator()(std::string_view text) const
{
    if (isASCII(text))
        return std::hash<std::string_view>()(text);
    return std::hash<std::string>()(precomposed(text));
}

bool containsOnlyDecimalDigits(std::string_view text)
{
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    auto remaining = static_cast<utf8proc_ssize_t>(text.size());
    while (remaining > 0) {
        utf8proc_int32_t codePoint = 0;
        auto length = ::utf8proc_iterate(bytes, remaining, &codePoint);
        if (length <= 0 || ::utf8proc_category(codePoint) != UTF8PROC_CATEGORY_ND)
            return false;
        bytes += length;
        remaining -= length;
    }
    return true;
}

} // namespace Platform

