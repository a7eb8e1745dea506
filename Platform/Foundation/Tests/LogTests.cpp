#include "Platform/Foundation/Log.hpp"

#include <gtest/gtest.h>
#include <thread>

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
    EXPECT_EQ(capture.lines(), std::vector<std::string> { "❗️ Download failed: a\\x00b\\x1B[31m\\x0Dc\td\\x7F" });
}
