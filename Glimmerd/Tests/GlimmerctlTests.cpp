#include "Glimmerd/Tests/HostFixture.hpp"

#include <gtest/gtest.h>

using namespace GlimmerdTesting;

namespace {

class GlimmerctlTests : public HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        listen();
    }

    ProgramResult glimmerctl(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), { "--socket", socketPath });
        return onClientThread([&] { return runProgram(GLIMMERCTL_PROGRAM, arguments); });
    }
};

} // namespace

// `observed` prints one folder per line; `badge` "<badge>\t<path>", "-" for none.
TEST_F(GlimmerctlTests, ObservedAndBadge)
{
    controller->setDirectoryURLs({ Platform::URL::fileURL("/c/one"), Platform::URL::fileURL("/c/two") });
    auto observed = glimmerctl({ "observed" });
    EXPECT_EQ(observed.exitStatus, 0);
    EXPECT_EQ(observed.output, "/c/one\n/c/two\n");

    extension->badges["/c/one/a.txt"] = "Error";
    auto badges = glimmerctl({ "badge", "/c/one/a.txt", "/c/one/b.txt" });
    EXPECT_EQ(badges.exitStatus, 0);
    EXPECT_EQ(badges.output, "Error\t/c/one/a.txt\n-\t/c/one/b.txt\n");
}

// `menu` prints the title line and one line per entry, exit 3 without a menu;
// `invoke` exits 4 for a disabled or missing entry and 0 after running one.
TEST_F(GlimmerctlTests, MenuAndInvokeExitStatus)
{
    auto none = glimmerctl({ "menu", "/c/a" });
    EXPECT_EQ(none.exitStatus, 3);
    EXPECT_EQ(none.output, "");
    EXPECT_EQ(glimmerctl({ "invoke", "0", "/c/a" }).exitStatus, 3);

    FinderSyncKit::Menu menu { "brisanto cloud", {} };
    menu.addItem({ "Link teilen", "sharePublicLink", "", "MenueBarIcon", true });
    menu.addItem({ "Ordner freigeben \u2026", "shareFolder", "", "MenueBarIcon", false });
    extension->menuToGive = menu;
    auto shown = glimmerctl({ "menu", "--kind", "toolbar", "/c/a" });
    EXPECT_EQ(shown.exitStatus, 0);
    EXPECT_EQ(shown.output, "title\tbrisanto cloud\n0\tenabled\tLink teilen\n1\tdisabled\tOrdner freigeben \u2026\n");
    EXPECT_EQ(extension->menuKinds.back(), FinderSyncKit::MenuKind::toolbarItemMenu);
    EXPECT_EQ(extension->targets.back(), "/c");

    EXPECT_EQ(glimmerctl({ "invoke", "1", "/c/a" }).exitStatus, 4);
    EXPECT_EQ(glimmerctl({ "invoke", "5", "/c/a" }).exitStatus, 4);
    EXPECT_EQ(glimmerctl({ "invoke", "0", "/c/a" }).exitStatus, 0);
    EXPECT_EQ(extension->performed, std::vector<std::string> { "sharePublicLink" });
    EXPECT_EQ(glimmerctl({ "menu", "--kind", "dock", "/c/a" }).exitStatus, 1);
}

// Without a listening glimmerd every command exits with 2; wrong use with 1.
TEST_F(GlimmerctlTests, UnreachableAndWrongUse)
{
    host.reset();
    EXPECT_EQ(glimmerctl({ "observed" }).exitStatus, 2);
    EXPECT_EQ(glimmerctl({ "badge", "/c/a" }).exitStatus, 2);
    EXPECT_EQ(glimmerctl({ "frobnicate" }).exitStatus, 1);
    EXPECT_EQ(glimmerctl({ "invoke", "x", "/c/a" }).exitStatus, 1);
}
