#include "Orvella/Settings/LoginItem.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/Log.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>

using namespace Orvella;
using Platform::Testing::readFile;
using Platform::Testing::writeFile;

namespace {

class LoginItemTests : public ::testing::Test {
protected:
    LoginItemTests()
    {
        writeFile(m_root / "orvella", "#!/bin/sh\n");
        ::chmod((m_root / "orvella").c_str(), 0755);
        std::filesystem::create_directories(m_root / "copy");
        writeFile(m_root / "copy/orvella", "#!/bin/sh\n");
    }

    LoginItemList list(const std::string& program) const
    {
        return LoginItemList {
            .folder = m_root / "autostart",
            .applicationIdentifier = "de.orvella.desktop",
            .applicationName = "Orvella",
            .applicationURL = Platform::URL::fileURL(program),
        };
    }

    void writeEntry(const std::string& name, const std::string& exec, const std::string& extra = "") const
    {
        std::filesystem::create_directories(m_root / "autostart");
        writeFile(m_root / ("autostart/" + name), "[Desktop Entry]\nType=Application\nName=X\nExec=" + exec + "\n" + extra);
    }

    std::size_t entryCount() const { return LoginItem::items(list(m_root / "orvella")).size(); }

    Platform::Testing::TemporaryDirectory m_root;
};

} // namespace

TEST_F(LoginItemTests, EnablingTwiceLeavesOneEntryThatNamesTheProgram)
{
    // The second enable finds the first entry; the entry is "<identifier>.desktop" and starts our program.
    auto ours = list(m_root / "orvella");
    LoginItem::setLaunchAtLogin(true, ours);
    LoginItem::setLaunchAtLogin(true, ours);
    auto items = LoginItem::items(ours);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].file().filename(), "de.orvella.desktop.desktop");
    ASSERT_TRUE(items[0].url());
    EXPECT_EQ(*items[0].url(), ours.applicationURL);
    EXPECT_TRUE(LoginItem::applicationItem(ours));
}

TEST_F(LoginItemTests, ATakenNameGetsTheNextNumberAndNothingIsReplaced)
{
    // Another program's entry under our name stays byte for byte; ours becomes "-2".
    writeEntry("de.orvella.desktop.desktop", "/usr/bin/true");
    auto before = readFile(m_root / "autostart/de.orvella.desktop.desktop");
    auto inserted = LoginItem::insert(list(m_root / "orvella").applicationURL, list(m_root / "orvella"));
    ASSERT_TRUE(inserted);
    EXPECT_EQ(inserted->file().filename(), "de.orvella.desktop-2.desktop");
    EXPECT_EQ(readFile(m_root / "autostart/de.orvella.desktop.desktop"), before);
    EXPECT_FALSE(Platform::Testing::exists(m_root / "autostart/.de.orvella.desktop.desktop.partial"));
}

TEST_F(LoginItemTests, DisablingWithTwoMatchingEntriesRemovesOnlyTheFirstByName)
{
    // Entries have no order but their names: "a-…" goes, "b-…" stays.
    auto program = m_root / "orvella";
    writeEntry("b-orvella.desktop", program);
    writeEntry("a-orvella.desktop", program);
    LoginItem::setLaunchAtLogin(false, list(program));
    EXPECT_FALSE(Platform::Testing::exists(m_root / "autostart/a-orvella.desktop"));
    EXPECT_TRUE(Platform::Testing::exists(m_root / "autostart/b-orvella.desktop"));
}

TEST_F(LoginItemTests, AnotherCopysAndADanglingEntryAreNeverTouched)
{
    // Enabling adds our own entry beside the other copy's; disabling removes ours only; the dangling one stays.
    auto program = m_root / "orvella";
    writeEntry("other-copy.desktop", m_root / "copy/orvella");
    writeEntry("gone.desktop", m_root / "gone/orvella");
    LoginItem::setLaunchAtLogin(true, list(program));
    EXPECT_EQ(entryCount(), 3u);
    LoginItem::setLaunchAtLogin(false, list(program));
    EXPECT_TRUE(Platform::Testing::exists(m_root / "autostart/other-copy.desktop"));
    EXPECT_TRUE(Platform::Testing::exists(m_root / "autostart/gone.desktop"));
    EXPECT_FALSE(LoginItem::applicationItem(list(program)));
    auto dangling = LoginItem::find(Platform::URL::fileURL(m_root / "gone/orvella"), list(program));
    EXPECT_FALSE(dangling);
}

TEST_F(LoginItemTests, HiddenEntriesAreNotItemsAndOtherGroupsPlayNoPart)
{
    // Hidden=true switches an entry off; an Exec key of an action group names nothing.
    auto program = m_root / "orvella";
    writeEntry("hidden.desktop", program, "Hidden=true\n");
    writeEntry("action.desktop", "/usr/bin/true", "[Desktop Action Open]\nExec=" + program + "\n");
    EXPECT_FALSE(LoginItem::applicationItem(list(program)));
    EXPECT_EQ(entryCount(), 1u);
}

TEST_F(LoginItemTests, AProgramPathWithBlanksAndShellCharactersSurvivesTheQuoting)
{
    // The path comes back from the written Exec key exactly, and the file passes desktop-file-validate.
    auto folder = m_root / "My Apps/$HOME \"q\" `x` 100%\\";
    std::filesystem::create_directories(folder);
    auto program = folder + "/orvella app";
    writeFile(program, "#!/bin/sh\n");
    ::chmod(program.c_str(), 0755);
    auto ours = list(program);
    LoginItem::setLaunchAtLogin(true, ours);
    auto item = LoginItem::applicationItem(ours);
    ASSERT_TRUE(item);
    EXPECT_EQ(item->url()->path(), program);
    auto command = "desktop-file-validate '" + item->file().string() + "' > /dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << readFile(item->file());
}

TEST(DesktopEntryExecTests, QuotingRoundTripsAndMalformedValuesNameNothing)
{
    // Plain paths stay plain; reserved characters are quoted; an open quote or a bare reserved character is no program.
    EXPECT_EQ(desktopEntryExecValue("/usr/bin/orvella"), "/usr/bin/orvella");
    EXPECT_EQ(desktopEntryExecValue("/a b/c"), "\"/a b/c\"");
    EXPECT_EQ(desktopEntryExecValue("/a$b"), "\"/a\\\\$b\"");
    EXPECT_EQ(desktopEntryExecValue("/a%b"), "/a%%b");
    for (std::string path : { "/a b/c", "/a\"b", "/a\\b", "/a`b", "/a$b", "/100%", "/tab\there", "/new\nline" })
        EXPECT_EQ(desktopEntryExecProgram(desktopEntryExecValue(path)), path) << path;
    EXPECT_EQ(desktopEntryExecProgram("/usr/bin/orvella --hidden %u"), "/usr/bin/orvella");
    EXPECT_EQ(desktopEntryExecProgram("\"/a b\" --x"), "/a b");
    EXPECT_FALSE(desktopEntryExecProgram("\"/a b"));
    EXPECT_FALSE(desktopEntryExecProgram("/a;b"));
    EXPECT_FALSE(desktopEntryExecProgram(""));
    EXPECT_FALSE(desktopEntryExecProgram("   "));
}

TEST_F(LoginItemTests, AFailedInsertionIsLoggedAndChangesNothingElse)
{
    // The autostart folder cannot be made (a file stands in its place): one log line, no entry.
    writeFile(m_root / "autostart", "not a folder");
    Platform::LogCapture capture;
    LoginItem::setLaunchAtLogin(true, list(m_root / "orvella"));
    EXPECT_TRUE(capture.contains("❗️ couldn't create LoginItem for file://"));
    EXPECT_EQ(readFile(m_root / "autostart"), "not a folder");
}
