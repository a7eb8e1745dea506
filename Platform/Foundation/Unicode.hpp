#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Platform {

// Unicode normalisation and canonical comparison of UTF-8 text. Pure ASCII
// text takes a fast path and is never copied through the normaliser. Text that
// is not valid UTF-8 is left as it is and compared byte for byte: it is never
// rejected, since file names on Linux need not be UTF-8. No case folding
// anywhere. Thread-safe.

// True when every byte is below 0x80.
[[nodiscard]] bool isASCII(std::string_view text);

// True for well-formed UTF-8 (no overlong forms, surrogates or values above U+10FFFF).
[[nodiscard]] bool isValidUTF8(std::string_view text);

// The bytes as UTF-8, each ill-formed sequence replaced by U+FFFD.
[[nodiscard]] std::string lossyUTF8(std::string_view bytes);

// The precomposed (NFC) and decomposed (NFD) forms; invalid UTF-8 comes back unchanged.
[[nodiscard]] std::string precomposed(std::string_view text);
[[nodiscard]] std::string decomposed(std::string_view text);

// Canonical equivalence: "é" as one code point equals "e" followed by U+0301.
[[nodiscard]] bool canonicallyEqual(std::string_view left, std::string_view right);

// Whether `text` begins with `prefix` under canonical equivalence, ending on a
// character boundary: the character of `text` right after the prefix must not
// be a combining mark, so "e" is not a prefix of "é" in either form. The empty
// prefix is a prefix of every text.
[[nodiscard]] bool canonicallyHasPrefix(std::string_view text, std::string_view prefix);

// The code points of UTF-8 text; each byte that begins no valid sequence
// gives U+FFFD, so nothing is dropped.
[[nodiscard]] std::u32string codePoints(std::string_view text);

// Letter categories: upper-case and title-case letters (Lu, Lt); lower-case letters (Ll).
[[nodiscard]] bool isUppercaseLetter(char32_t codePoint);
[[nodiscard]] bool isLowercaseLetter(char32_t codePoint);

// The full lower case of one code point, as UTF-8 ("İ" gives "i" and a combining dot).
[[nodiscard]] std::string lowercased(char32_t codePoint);

// Full upper-casing by the Unicode defaults, the same in every locale: "ß"
// gives "SS", "ﬁ" gives "FI", "ǆ" gives "Ǆ". Invalid UTF-8 comes back unchanged.
[[nodiscard]] std::string uppercased(std::string_view text);

// The first user-perceived character (extended grapheme cluster) of `text`: a
// letter with its combining marks, an emoji with its modifiers. Empty for
// empty text; for invalid UTF-8 the first byte.
[[nodiscard]] std::string_view firstCharacter(std::string_view text);

// A hash consistent with canonicallyEqual (hashes the precomposed form).
struct CanonicalHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const;
};

// Equality functor for unordered containers keyed by canonically compared text.
struct CanonicalEqual {
    using is_transparent = void;
    bool operator()(std::string_view left, std::string_view right) const { return canonicallyEqual(left, right); }
};

// True when every character of `text` is a decimal digit of any script
// (Unicode general category Nd: "0"-"9", "٣", "९" …); also for empty text.
// Invalid UTF-8 holds no digits.
[[nodiscard]] bool containsOnlyDecimalDigits(std::string_view text);

} // namespace Platform
