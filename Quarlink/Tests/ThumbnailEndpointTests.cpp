// Thumbnails and the flush request against the local service answering with
// canned bodies.

#include "Quarlink/Debug/FlushRequest.hpp"
#include "Quarlink/Identity/ApplicationInfo.hpp"
#include "Quarlink/Thumbnails/ThumbnailOperations.hpp"
#include "Quarlink/Tests/EndpointFixture.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

std::string png(std::uint32_t width, std::uint32_t height)
{
    std::string data { '\x89', 'P', 'N', 'G', '\x0D', '\x0A', '\x1A', '\x0A', 0, 0, 0, 13, 'I', 'H', 'D', 'R' };
    for (auto value : { width, height }) {
        for (int shift = 24; shift >= 0; shift -= 8)
            data.push_back(static_cast<char>(value >> shift));
    }
    data.append({ 8, 6, 0, 0, 0 });
    return data;
}

std::string gif(std::uint16_t width, std::uint16_t height)
{
    std::string data = "GIF89a";
    for (auto value : { width, height }) {
        data.push_back(static_cast<char>(value & 0xFF));
        data.push_back(static_cast<char>(value >> 8));
    }
    return data;
}

class ThumbnailEndpointTests : public EndpointFixture {
protected:
    void TearDown() override
    {
        ApplicationInfo::removeValue(ApplicationInfo::clientHeaderKey);
        EndpointFixture::TearDown();
    }
};

} // namespace

TEST_F(ThumbnailEndpointTests, PreviewsAskForTheirSizeAndBecomeImages)
{
    // Proves the thumbnail path with its size as "x" and "y", the image made from the body, and that a body that
    // is no image fails as a parsing error carrying exactly the body.
    answer("GET", "files/5/thumbnail", png(60, 60), 200, "image/png");
    auto image = onlyValue(run(thumbnail(client(), 5)));
    ASSERT_TRUE(image);
    EXPECT_EQ(lastRequest().path, "/v2.0/files/5/thumbnail");
    EXPECT_EQ(lastRequest().query, (std::multimap<std::string, std::string> { { "x", "60" }, { "y", "60" } }));
    EXPECT_EQ(image->width(), 60);
    EXPECT_EQ(image->format(), Image::Format::png);

    answer("GET", "files/5/thumbnail", gif(320, 240), 200, "image/gif");
    ASSERT_TRUE(onlyValue(run(thumbnail(client(), 5, ThumbnailSize::custom(320, -240)))));
    EXPECT_EQ(lastRequest().query, (std::multimap<std::string, std::string> { { "x", "320" }, { "y", "-240" } }));

    answer("GET", "files/5/thumbnail", "{\"data\":\"kein Bild\"}");
    EXPECT_EQ(parsingErrorBody(run(thumbnail(client(), 5, ThumbnailSize::detail))), "{\"data\":\"kein Bild\"}");
    EXPECT_EQ(lastRequest().query, (std::multimap<std::string, std::string> { { "x", "2000" }, { "y", "2000" } }));

    answerError("GET", "files/6/thumbnail", 404, "5004");
    EXPECT_EQ(remoteErrorOf(run(thumbnail(client(), 6))), RemoteError::Case::fileNotFound);
}

TEST_F(ThumbnailEndpointTests, HeadersAnnouncingGiantImagesAreRefused)
{
    // Proves an image whose header announces more than 16,384 pixels on a side is a parsing error carrying the
    // body, in every format, while 16,384 itself is accepted.
    for (const auto& body : { png(16'385, 10), png(10, 16'385), png(0xFFFFFFFFu, 1), gif(16'385, 1) }) {
        answer("GET", "files/5/thumbnail", body, 200, "image/png");
        EXPECT_EQ(parsingErrorBody(run(thumbnail(client(), 5))), body);
    }
    answer("GET", "files/5/thumbnail", png(16'384, 16'384), 200, "image/png");
    auto largest = onlyValue(run(thumbnail(client(), 5)));
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->height(), 16'384);
    EXPECT_FALSE(Image::create(Platform::Data::fromString(png(16'384, 16'385))));
    EXPECT_TRUE(Image::create(Platform::Data::fromString(gif(16'384, 1))));

    // A bitmap stored top-down announces a negative height; the most negative one is no size at all.
    auto bitmap = [](std::int32_t height) {
        std::string data(26, '\0');
        data[0] = 'B';
        data[1] = 'M';
        data[18] = 8;
        for (int index = 0; index < 4; ++index)
            data[22 + index] = static_cast<char>(static_cast<std::uint32_t>(height) >> (8 * index));
        return Platform::Data::fromString(data);
    };
    EXPECT_EQ(Image::create(bitmap(-20))->height(), 20);
    EXPECT_FALSE(Image::create(bitmap(INT32_MIN)));
    EXPECT_FALSE(Image::create(bitmap(-16'385)));
}

TEST_F(ThumbnailEndpointTests, DownloadedPreviewIsTheCallersFileAndTheOnlyValue)
{
    // Proves the downloaded preview arrives as its file URL alone (no progress values), still there after the
    // stream ended, for the caller (here the test) to remove.
    answer("GET", "files/5/thumbnail", png(125, 125), 200, "image/png");
    auto file = onlyValue(run(downloadThumbnail(client(), 5, ThumbnailSize::grid)));
    ASSERT_TRUE(file);
    EXPECT_EQ(lastRequest().query, (std::multimap<std::string, std::string> { { "x", "125" }, { "y", "125" } }));
    EXPECT_EQ(readFile(file->path()), png(125, 125));
    std::filesystem::remove(file->path());
    EXPECT_TRUE(downloadsFolderEmpties());

    answerError("GET", "files/5/thumbnail", 404, "5004");
    EXPECT_EQ(remoteErrorOf(run(downloadThumbnail(client(), 5))), RemoteError::Case::fileNotFound);
    EXPECT_TRUE(downloadsFolderEmpties());
}

TEST_F(ThumbnailEndpointTests, FlushGoesOutsideTheVersionWithoutTheStandardHeaders)
{
    // Proves the flush address at the host's root, outside "/v2.0", without "User-Agent", "X-Client" or
    // "Content-Type" (which every other request carries), and one empty value whatever the body.
    ApplicationInfo::setValue(ApplicationInfo::clientHeaderKey, "Quarlink-Tests");
    m_server->script("GET", "/debug/flush-cloud", { .body = "flushed, no JSON", .contentType = "text/plain" }, 1);
    ASSERT_TRUE(onlyValue(run(perform(FlushRequest(), client()))));
    auto flush = lastRequest();
    EXPECT_EQ(flush.method, "GET");
    EXPECT_EQ(flush.path, "/debug/flush-cloud");
    EXPECT_FALSE(flush.header("User-Agent"));
    EXPECT_FALSE(flush.header("X-Client"));
    EXPECT_FALSE(flush.header("Content-Type"));

    answer("GET", "files/5/thumbnail", png(60, 60), 200, "image/png");
    ASSERT_TRUE(onlyValue(run(thumbnail(client(), 5))));
    EXPECT_TRUE(lastRequest().header("User-Agent"));
    EXPECT_EQ(lastRequest().header("X-Client"), "Quarlink-Tests");

    m_server->script("GET", "/debug/flush-cloud", { .status = 500, .headers = { { "X-Error-Code", "9999" } }, .body = "" }, 1);
    EXPECT_TRUE(run(perform(FlushRequest(), client())).back().isFailed());
}
