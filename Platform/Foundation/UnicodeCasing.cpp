// The parts of Unicode.hpp that need the full Unicode tables of ICU (case
// mappings that change the length, grapheme clusters); utf8proc covers the rest.

#include "Platform/Foundation/Unicode.hpp"

#include <unicode/ubrk.h>
#include <unicode/ustring.h>
#include <unicode/utext.h>

#include <memory>

namespace Platform {

std::string uppercased(std::string_view text)
{
    if (isASCII(text)) {
        std::string result(text);
        for (auto& character : result)
            if (character >= 'a' && character <= 'z')
                character = static_cast<char>(character - 'a' + 'A');
        return result;
    }
    if (!isValidUTF8(text))
        return std::string(text);

    UErrorCode status = U_ZERO_ERROR;
    std::u16string wide(text.size(), u'\0');
    int32_t wideLength = 0;
    ::u_strFromUTF8(reinterpret_cast<UChar*>(wide.data()), static_cast<int32_t>(wide.size()), &wideLength, text.data(),
        static_cast<int32_t>(text.size()), &status);
    if (U_FAILURE(status))
        return std::string(text);

    // Full upper case at most triples the length (U+0390 gives three code units).
    std::u16string upper(static_cast<std::size_t>(wideLength) * 3 + 1, u'\0');
    auto upperLength = ::u_strToUpper(reinterpret_cast<UChar*>(upper.data()), static_cast<int32_t>(upper.size()),
        reinterpret_cast<const UChar*>(wide.data()), wideLength, "", &status);
    if (U_FAILURE(status))
        return std::string(text);

    std::string result(static_cast<std::size_t>(upperLength) * 3, '\0');
    int32_t resultLength = 0;
    ::u_strToUTF8(result.data(), static_cast<int32_t>(result.size()), &resultLength,
        reinterpret_cast<const UChar*>(upper.data()), upperLength, &status);
    if (U_FAILURE(status))
        return std::string(text);
    result.resize(static_cast<std::size_t>(resultLength));
    return result;
}

std::string_view firstCharacter(std::string_view text)
{
    if (text.empty())
        return text;
    auto first = static_cast<unsigned char>(text[0]);
    // An ASCII character followed by another ASCII character (or nothing) is a
    // cluster of its own, except a carriage return before a line feed.
    if (first < 0x80 && (text.size() == 1 || static_cast<unsigned char>(text[1]) < 0x80))
        return text.substr(0, first == '\r' && text.size() > 1 && text[1] == '\n' ? 2 : 1);
    if (!isValidUTF8(text))
        return text.substr(0, 1);

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UText, decltype(&::utext_close)> utf8(
        ::utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status), &::utext_close);
    std::unique_ptr<UBreakIterator, decltype(&::ubrk_close)> breaks(
        ::ubrk_open(UBRK_CHARACTER, "", nullptr, 0, &status), &::ubrk_close);
    if (U_FAILURE(status))
        return text.substr(0, 1);
    ::ubrk_setUText(breaks.get(), utf8.get(), &status);
    if (U_FAILURE(status))
        return text.substr(0, 1);
    auto end = ::ubrk_following(breaks.get(), 0);
    if (end == UBRK_DONE || end <= 0)
        return text;
    // With UTF-8 text the break iterator counts in bytes.
    return text.substr(0, static_cast<std::size_t>(end));
}

} // namespace Platform
