#include "Platform/Foundation/Unicode.hpp"

#include <gtest/gtest.h>
#include <unordered_set>

using namespace Platform;

namespace {
const std::string composedE = "\xc3\xa9";          // é as U+00E9
const std::string decomposedE = "e\xcc\x81";       // e followed by U+0301
} // namespace

TEST(UnicodeTests, NormalisesBothWays)
{
    // NFC composes and NFD decomposes; ASCII and invalid UTF-8 come back unchanged.
    EXPECT_EQ(precomposed("Caf" + decomposedE), "Caf" + composedE);
    EXPECT_EQ(decomposed("Caf" + composedE), "Caf" + decomposedE);
    EXPECT_EQ(precomposed("plain/ascii.txt"), "plain/ascii.txt");
    EXPECT_EQ(precomposed("bad\xff"), "bad\xff");
    EXPECT_TRUE(isASCII("abc"));
    EXPECT_FALSE(isASCII(composedE));
}

TEST(UnicodeTests, ASCIITestSeesEveryByteAndNoOther)
{
    // One byte with the high bit set at any place of any length, the start of
    // the view at any offset; the bytes just outside the view do not count.
    const std::string buffer = std::string(3, '\x80') + std::string(40, '\x7f') + std::string(3, '\xff');
    for (std::size_t offset = 0; offset < 3; ++offset)
        for (std::size_t length = 0; length <= 40; ++length) {
            std::string text(buffer.begin() + 3 - static_cast<std::ptrdiff_t>(offset),
                buffer.begin() + 3 + static_cast<std::ptrdiff_t>(length));
            std::string_view inside = std::string_view(text).substr(offset);
            EXPECT_TRUE(isASCII(inside)) << offset << " " << length;
            EXPECT_TRUE(isASCII(std::string_view(buffer).substr(3, length))) << length;
            for (std::size_t position = 0; position < length; ++position) {
                for (char high : { '\x80', '\xff' }) {
                    std::string changed = text;
                    changed[offset + position] = high;
                    EXPECT_FALSE(isASCII(std::string_view(changed).substr(offset))) << length << " " << position;
                }
            }
        }
}

TEST(UnicodeTests, ComparesCanonically)
{
    // Precomposed and decomposed forms are equal, letter case is not folded, and singletons normalise.
    EXPECT_TRUE(canonicallyEqual("/Docs/Caf" + composedE, "/Docs/Caf" + decomposedE));
    EXPECT_FALSE(canonicallyEqual("a", "A"));
    EXPECT_FALSE(canonicallyEqual(composedE, "e"));
    EXPECT_TRUE(canonicallyEqual("\xe2\x84\xaa", "K")); // KELVIN SIGN
    EXPECT_TRUE(canonicallyEqual("bad\xff", "bad\xff"));
    EXPECT_FALSE(canonicallyEqual("bad\xff", "bad\xfe"));
}

TEST(UnicodeTests, PrefixEndsOnACharacterBoundary)
{
    // "e" is not a prefix of "é" in either form, while equivalent forms of a real prefix match.
    EXPECT_FALSE(canonicallyHasPrefix(composedE, "e"));
    EXPECT_FALSE(canonicallyHasPrefix(decomposedE, "e"));
    EXPECT_FALSE(canonicallyHasPrefix("q\xcc\x87x", "q")); // q with a dot above has no precomposed form
    EXPECT_TRUE(canonicallyHasPrefix("/A" + composedE + "/x", "/A" + decomposedE));
    EXPECT_TRUE(canonicallyHasPrefix("/A" + decomposedE + "/x", "/A" + composedE + "/"));
    EXPECT_TRUE(canonicallyHasPrefix("/Abc", "/A"));
    EXPECT_TRUE(canonicallyHasPrefix("/A", ""));
    EXPECT_TRUE(canonicallyHasPrefix("", ""));
    EXPECT_FALSE(canonicallyHasPrefix("/A", "/AB"));
}

TEST(UnicodeTests, HashAgreesWithEquality)
{
    // A set keyed canonically finds a text under either normalisation form.
    std::unordered_set<std::string, CanonicalHash, CanonicalEqual> set { "/Caf" + composedE };
    EXPECT_TRUE(set.contains("/Caf" + decomposedE));
    EXPECT_FALSE(set.contains("/Cafe"));
    EXPECT_EQ(CanonicalHash()("\xe2\x84\xaa"), CanonicalHash()("K"));
}

TEST(UnicodeTests, ValidatesUTF8)
{
    // Well-formed text passes; truncated sequences, overlong forms and surrogates do not.
    EXPECT_TRUE(isValidUTF8(""));
    EXPECT_TRUE(isValidUTF8("Gr\xc3\xbc\xc3\x9f" "e \xf0\x9f\x98\x80"));
    EXPECT_FALSE(isValidUTF8("\xc3"));
    EXPECT_FALSE(isValidUTF8("\xc0\xaf"));
    EXPECT_FALSE(isValidUTF8("\xed\xa0\x80"));
    EXPECT_FALSE(isValidUTF8("\xff"));
    EXPECT_FALSE(isValidUTF8("\xf4\x90\x80\x80")); // U+110000
    EXPECT_FALSE(isValidUTF8("\x80"));
}

TEST(UnicodeTests, uppercasedUsesFullCaseMapping)
{
    // Letters that grow under upper-casing, non-Latin letters and marks; invalid UTF-8 is left alone.
    EXPECT_EQ(Platform::uppercased("zebra"), "ZEBRA");
    EXPECT_EQ(Platform::uppercased("\xC3\x9F" "e"), "SSE");          // ß
    EXPECT_EQ(Platform::uppercased("\xEF\xAC\x81le"), "FILE");       // ﬁ ligature
    EXPECT_EQ(Platform::uppercased("\xC3\xA4pfel"), "\xC3\x84PFEL"); // äpfel
    EXPECT_EQ(Platform::uppercased("\xD0\xB6\xD1\x83\xD0\xBA"), "\xD0\x96\xD0\xA3\xD0\x9A"); // жук
    EXPECT_EQ(Platform::uppercased("i"), "I");                        // not the Turkish dotted capital
    EXPECT_EQ(Platform::uppercased("a\xFF"), "a\xFF");
    EXPECT_EQ(Platform::uppercased(""), "");
}

TEST(UnicodeTests, firstCharacterIsAGraphemeCluster)
{
    // A base letter keeps its combining marks, flags and CR LF stay whole, bad bytes give one byte.
    EXPECT_EQ(Platform::firstCharacter(""), "");
    EXPECT_EQ(Platform::firstCharacter("ab"), "a");
    EXPECT_EQ(Platform::firstCharacter("e\xCC\x81" "clair"), "e\xCC\x81");
    EXPECT_EQ(Platform::firstCharacter("\xC3\xA9x"), "\xC3\xA9");
    EXPECT_EQ(Platform::firstCharacter("\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA!"), "\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA");
    EXPECT_EQ(Platform::firstCharacter("\r\nx"), "\r\n");
    EXPECT_EQ(Platform::firstCharacter("\xFF" "abc"), "\xFF");
}
