#include "Platform/Foundation/Log.hpp"

#include <gtest/gtest.h>
#include <sstream>
#include <thread>

#include <stdlib.h>
#include <unistd.h>

using namespace Platform;

TEST(LogTests, CapturesLinesWithMarkers)
{
    // Lines reach a capture byte for byte, with the failure and success markers put in front.
    LogCapture capture;
    Log::line("plain line\n");
    Log::failure("Database was lost: x");
    Log::success("Upload finished");
    Log::Stream() << "count " << 1234567 << " ratio " << 0.5;
    EXPECT_EQ(capture.lines(),
        (std::vector<std::string> { "plain line", "❗️ Database was lost: x", "✅ Upload finished", "count 1234567 ratio 0.5" }));
}

TEST(LogTests, NestedCapturesSeeTheirOwnLife)
{
    // A capture sees only lines logged while it lives.
    LogCapture outer;
    Log::line("first");
    {
        LogCapture inner;
        Log::line("second");
        EXPECT_EQ(inner.lines(), std::vector<std::string> { "second" });
    }
    Log::line("third");
    EXPECT_EQ(outer.lines(), (std::vector<std::string> { "first", "second", "third" }));
}

TEST(LogTests, WaitsForALineFromAnotherThread)
{
    // waitForLine returns once another thread logs the line, and gives up after its timeout otherwise.
    LogCapture capture;
    std::thread writer([] { Log::line("✅ from the other thread"); });
    EXPECT_TRUE(capture.waitForLine("other thread", std::chrono::seconds(10)));
    writer.join();
    EXPECT_FALSE(capture.waitForLine("never logged", std::chrono::milliseconds(1)));
    EXPECT_TRUE(capture.contains("from the other"));
}

TEST(LogTests, ControlCharactersOfANameAreEscaped)
{
    // A name a server chose, with NUL, a carriage return, an escape sequence and DEL, is logged whole with those
    // bytes as "\xNN"; tabs stay.
    LogCapture capture;
    using namespace std::string_literals;
    Log::failure("Download failed: a\0b\x1B[31m\rc\td\x7F"s);
    // The C1 controls from U+0080 to U+009F (CSI among them) are escaped byte by byte, both ends of the range
    // included; the first character after it and a lone lead byte at the end pass as they are.
    Log::failure("Renamed: \u0080x\u009B31m\u009Fy\u00A0z\xC2");
    EXPECT_EQ(capture.lines(), (std::vector<std::string> { "❗️ Download failed: a\\x00b\\x1B[31m\\x0Dc\td\\x7F",
                                   "❗️ Renamed: \\xC2\\x80x\\xC2\\x9B31m\\xC2\\x9Fy\u00A0z\xC2" }));
}

TEST(LogTests, NoTextPassesForAnEntryOfItsOwn)
{
    // A name a server chose cannot forge an entry: its newline, a blank at the start of an entry, NEL and the line
    // separator leave every forged date inside the entry it came with. What reaches stderr is read back the way a
    // person reads the log: a line that starts without a blank begins an entry.
    using namespace std::string_literals;
    const std::string forged = "\n2026-12-10 03:00:00 ✅ Anmeldung als admin erfolgreich";
    const std::vector<std::string> texts {
        "Download failed: a.txt" + forged,
        "❗️ Upload failed: b.txt" + forged + "\n" + forged,
        "  " + forged.substr(1),
        "\t" + forged.substr(1),
        "Renamed to c\u0085" + forged.substr(1) + "\u2028" + forged.substr(1) + "\u2029x\x1B[2K\r" + forged.substr(1),
        "Own text\nwith a second line\n",
    };

    char path[] = "/tmp/log-entries-XXXXXX";
    int file = ::mkstemp(path);
    ASSERT_GE(file, 0);
    ::unlink(path);
    int savedStderr = ::dup(STDERR_FILENO);
    ASSERT_GE(savedStderr, 0);
    ASSERT_GE(::dup2(file, STDERR_FILENO), 0);
    {
        LogCapture capture;
        for (const auto& text : texts)
            Log::line(text);
        // The program's own second line stays readable, one indent further in.
        EXPECT_EQ(capture.lines().back(), "Own text\n    with a second line");
    }
    ::dup2(savedStderr, STDERR_FILENO);
    ::close(savedStderr);

    std::string written;
    char buffer[4096];
    ::lseek(file, 0, SEEK_SET);
    for (ssize_t count; (count = ::read(file, buffer, sizeof buffer)) > 0;)
        written.append(buffer, static_cast<std::size_t>(count));
    ::close(file);

    std::vector<std::string> entries;
    std::istringstream lines(written);
    for (std::string physical; std::getline(lines, physical);) {
        if (physical.starts_with(' ') || physical.starts_with('\t')) {
            ASSERT_FALSE(entries.empty());
            entries.back() += "\n" + physical;
        } else {
            entries.push_back(physical);
        }
        EXPECT_EQ(physical.find("\u0085"), std::string::npos);
        EXPECT_EQ(physical.find("\u2028"), std::string::npos);
        EXPECT_EQ(physical.find("\u2029"), std::string::npos);
    }
    ASSERT_EQ(entries.size(), texts.size()) << written;
    EXPECT_TRUE(entries[0].starts_with("Download failed: a.txt\n    2026-12-10")) << entries[0];
    EXPECT_TRUE(entries[2].starts_with("\\x20 2026-12-10")) << entries[2];
    EXPECT_TRUE(entries[3].starts_with("\\x092026-12-10")) << entries[3];
    EXPECT_TRUE(entries[4].starts_with("Renamed to c\\xC2\\x852026-12-10")) << entries[4];
}
