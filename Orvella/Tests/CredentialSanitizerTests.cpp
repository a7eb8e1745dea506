#include "Orvella/Service/EmailDomainPartCredentialSanitizer.hpp"

#include <gtest/gtest.h>

using namespace Orvella;

namespace {

std::string sanitized(const EmailDomainPartCredentialSanitizer& sanitizer, std::string name)
{
    sanitizer.sanitize(name);
    return name;
}

} // namespace

TEST(CredentialSanitizerTests, BareNamesGetTheDomainAndEverythingElseStaysAsTyped)
{
    // The table of the rule: letters get the domain; digits of any script, "@" anywhere and the empty name do not.
    EmailDomainPartCredentialSanitizer sanitizer("brisanto.example");
    struct Case {
        std::string typed;
        std::string expected;
    };
    const Case cases[] = {
        { "anna", "anna@brisanto.example" },
        { "anna.berg-2", "anna.berg-2@brisanto.example" },
        { "12a45", "12a45@brisanto.example" },
        { "123456", "123456" },
        { "\xD9\xA1\xD9\xA2\xD9\xA3", "\xD9\xA1\xD9\xA2\xD9\xA3" },            // Arabic-Indic ١٢٣
        { "\xE0\xA5\xA7\xE0\xA5\xA8", "\xE0\xA5\xA7\xE0\xA5\xA8" },            // Devanagari १२
        { "\xEF\xBC\x91\xEF\xBC\x92", "\xEF\xBC\x91\xEF\xBC\x92" },            // full-width １２
        { "\xC2\xB2", "\xC2\xB2@brisanto.example" },                           // "²" is no decimal digit
        { "12 34", "12 34@brisanto.example" },
        { "", "" },
        { "anna@", "anna@" },
        { "@anna", "@anna" },
        { "an@na", "an@na" },
        { "\xFF\xFE", "\xFF\xFE@brisanto.example" },                           // invalid UTF-8: no digits, no crash
        { "12\xFF", "12\xFF@brisanto.example" },
    };
    for (const auto& entry : cases)
        EXPECT_EQ(sanitized(sanitizer, entry.typed), entry.expected) << entry.typed;
}

TEST(CredentialSanitizerTests, AnEmptyDomainNeverAppendsAnything)
{
    // Without a domain every name stays as typed.
    EmailDomainPartCredentialSanitizer sanitizer("");
    EXPECT_EQ(sanitized(sanitizer, "anna"), "anna");
    EXPECT_EQ(sanitized(sanitizer, "123"), "123");
}
