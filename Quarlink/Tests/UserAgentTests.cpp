// The "User-Agent" text for each kind of client, and how the running application fills it.

#include "Quarlink/Identity/ApplicationInfo.hpp"
#include "Quarlink/Identity/SystemInfo.hpp"
#include "Quarlink/Identity/UserAgent.hpp"

#include <gtest/gtest.h>

#include <locale>

using namespace Quarlink;

namespace {

const UserAgent::Details example { "Orvella", "2.4", "Macmini8,1", "10.14.1", 1 };

// Leaves the process-wide registry empty for the next test.
class UserAgentTest : public testing::Test {
protected:
    void SetUp() override { ApplicationInfo::clear(); }
    void TearDown() override { ApplicationInfo::clear(); }
};

} // namespace

TEST(UserAgent, formatOfEachKind)
{
    // Each kind writes its pieces byte for byte: a colon after "Scale" only on the desktop, "iOS" also for tvOS.
    EXPECT_EQ(UserAgent(UserAgent::Kind::linuxDesktop, example).stringValue(), "Orvella/2.4 (Macmini8,1; Linux 10.14.1; Scale: 1.0)");
    EXPECT_EQ(UserAgent(UserAgent::Kind::ios, example).stringValue(), "Orvella/2.4 (Macmini8,1; iOS 10.14.1; Scale 1.0)");
    EXPECT_EQ(UserAgent(UserAgent::Kind::tvos, example).stringValue(), "Orvella/2.4 (Macmini8,1; iOS 10.14.1; Scale 1.0)");
    EXPECT_EQ(UserAgent(UserAgent::Kind::watchos, example).stringValue(), "Orvella/2.4 (Macmini8,1; watchOS 10.14.1; Scale 1.0)");
}

TEST(UserAgent, scaleHasOneDecimal)
{
    // The scale is written rounded to one decimal with a decimal point.
    auto withScale = [](double scale) {
        auto details = example;
        details.scale = scale;
        return UserAgent(UserAgent::Kind::linuxDesktop, details).stringValue();
    };
    EXPECT_TRUE(withScale(2).ends_with("Scale: 2.0)"));
    EXPECT_TRUE(withScale(1.5).ends_with("Scale: 1.5)"));
    EXPECT_TRUE(withScale(2.75).ends_with("Scale: 2.8)"));
    EXPECT_TRUE(withScale(1.04).ends_with("Scale: 1.0)"));
}

TEST(UserAgent, partsAreNotEscaped)
{
    // Payload texts go in unchanged, even with blanks, parentheses and semicolons.
    UserAgent agent(UserAgent::Kind::linuxDesktop, { "My App", "1 (beta)", "A;B", "", 1 });
    EXPECT_EQ(agent.stringValue(), "My App/1 (beta) (A;B; Linux ; Scale: 1.0)");
}

TEST_F(UserAgentTest, currentUsesTheRegisteredApplication)
{
    // The running application's executable name, version and screen scale fill the text, with this machine's facts.
    ApplicationInfo::install({ "orvella", "de.example.orvella", "3.1", "orvella-linux" });
    ApplicationInfo::setScreenScale(2.0);
    auto agent = UserAgent::current();
    EXPECT_EQ(agent.kind(), UserAgent::Kind::linuxDesktop);
    EXPECT_EQ(agent.stringValue(),
        "orvella/3.1 (" + SystemInfo::machineModel() + "; Linux " + SystemInfo::systemVersion() + "; Scale: 2.0)");
}

TEST_F(UserAgentTest, fallbacksForMissingApplicationFacts)
{
    // Without an executable name the identifier is the name; with neither "Quarlink"; without a string version "1.0"; without a display 1.0.
    ApplicationInfo::install({ std::nullopt, "de.example.orvella", std::nullopt, std::nullopt });
    EXPECT_EQ(UserAgent::current().details().appName, "de.example.orvella");
    EXPECT_EQ(UserAgent::current().details().appVersion, "1.0");
    EXPECT_EQ(UserAgent::current().details().scale, 1.0);

    ApplicationInfo::clear();
    ApplicationInfo::setValue(ApplicationInfo::executableKey, 17);
    ApplicationInfo::setValue(ApplicationInfo::shortVersionKey, 2.4);
    EXPECT_EQ(UserAgent::current().details().appName, "Quarlink");
    EXPECT_EQ(UserAgent::current().details().appVersion, "1.0");
}

namespace {

struct DecimalComma final : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

} // namespace

TEST(UserAgent, scaleIgnoresTheProcessLocale)
{
    // A decimal comma installed process-wide does not reach the header.
    auto previous = std::locale::global(std::locale(std::locale::classic(), new DecimalComma));
    auto text = UserAgent(UserAgent::Kind::linuxDesktop, example).stringValue();
    std::locale::global(previous);
    EXPECT_TRUE(text.ends_with("Scale: 1.0)")) << text;
}
