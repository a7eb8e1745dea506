// Locale-aware, case-insensitive ordering of texts, and sort keys that agree with it.

#include "Platform/Foundation/Collator.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <string>
#include <vector>

using Platform::Collator;

TEST(Collator, ignoresCaseButNotAccents)
{
    // Secondary strength: case makes no difference, accents do, in the root and the German collation.
    for (const char* locale : { "C", "de_DE.UTF-8", "", "POSIX" }) {
        Collator collator(locale);
        EXPECT_EQ(collator.compare("apfel", "APFEL"), 0) << locale;
        EXPECT_LT(collator.compare("Apfel", "äpfel"), 0) << locale;
        EXPECT_LT(collator.compare("äpfel", "Birne"), 0) << locale;
        EXPECT_LT(collator.compare("b", "C"), 0) << locale;
        EXPECT_GT(collator.compare("Zebra", "apfel"), 0) << locale;
        // Canonically equivalent spellings are equal.
        EXPECT_EQ(collator.compare("\xC3\xA4", "a\xCC\x88"), 0) << locale;
    }
}

TEST(Collator, localeChangesTheOrder)
{
    // Swedish sorts "ä" after "z", German beside "a": the locale is really used.
    Collator german("de_DE");
    Collator swedish("sv_SE.UTF-8");
    EXPECT_LT(german.compare("\xC3\xA4", "z"), 0);
    EXPECT_GT(swedish.compare("\xC3\xA4", "z"), 0);
}

TEST(Collator, sortKeysAgreeWithCompare)
{
    // Byte order of the keys is the collation order, equal texts give equal keys, and bad UTF-8 does not break it.
    Collator collator("de_DE");
    std::vector<std::string> names { "zebra", "Äpfel", "apfel", "Bär", "bar", "10", "9", "", "\xFF" "x", "APFEL" };
    for (const auto& left : names) {
        for (const auto& right : names) {
            auto byCompare = collator.compare(left, right);
            auto byKey = collator.sortKey(left).compare(collator.sortKey(right));
            EXPECT_EQ(byCompare < 0, byKey < 0) << left << " / " << right;
            EXPECT_EQ(byCompare == 0, byKey == 0) << left << " / " << right;
        }
    }
}

TEST(Collator, followsTheProcessCollationLocale)
{
    // The collator of the current LC_COLLATE: German orders "ä" before "z"; restored afterwards.
    std::string previous = std::setlocale(LC_COLLATE, nullptr);
    ASSERT_NE(std::setlocale(LC_COLLATE, "de_DE.UTF-8"), nullptr);
    EXPECT_LT(Collator::forCollationLocale().compare("\xC3\xA4", "z"), 0);
    std::setlocale(LC_COLLATE, previous.c_str());
}
