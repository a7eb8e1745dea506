// The default validation of service responses: data, finished downloads and download events.

#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/RemoteErrorValidation.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

namespace {

HTTPURLResponse head(int status, HTTPURLResponse::HeaderFields headers = {})
{
    return HTTPURLResponse(*Platform::URL::create("http://127.0.0.1:8642/v2.0/files/download"), status, std::move(headers));
}

const Platform::URL temporaryFile = Platform::URL::fileURL("/tmp/download.part");

} // namespace

TEST(RemoteErrorValidation, dataResponses)
{
    // A success passes unchanged; a failure status fails with the service error that carries the body.
    auto body = Platform::Data::fromString("{\"data\":[]}");
    auto passed = validate(DataResponse { body, head(200) });
    ASSERT_TRUE(passed);
    EXPECT_EQ(passed->data, body);

    auto failed = validate(DataResponse { body, head(401, { { "x-error-code", "3001" }, { "x-error-message", "weg" } }) });
    ASSERT_FALSE(failed);
    ASSERT_TRUE(failed.error().is<RemoteError>());
    EXPECT_EQ(failed.error().as<RemoteError>()->errorCase(), RemoteError::Case::authenticationRequired);

    auto generic = validate(DataResponse { body, head(500) });
    ASSERT_FALSE(generic);
    EXPECT_EQ(*generic.error().as<RemoteError>()->body(), body);
}

TEST(RemoteErrorValidation, finishedDownloads)
{
    // A download without a file is invalid, unless its status already made it a service error, which takes precedence.
    auto invalid = validate(DownloadResponse { std::nullopt, head(200) });
    ASSERT_FALSE(invalid);
    ASSERT_TRUE(invalid.error().is<APIClientError>());
    EXPECT_EQ(*invalid.error().as<APIClientError>(), APIClientError::invalidDownload());

    auto remote = validate(DownloadResponse { std::nullopt, head(500) });
    ASSERT_FALSE(remote);
    ASSERT_TRUE(remote.error().is<RemoteError>());
    EXPECT_EQ(remote.error().as<RemoteError>()->message(), "HTTP-500 ohne Fehler-Code");
    EXPECT_TRUE(remote.error().as<RemoteError>()->body()->empty());

    EXPECT_TRUE(validate(DownloadResponse { temporaryFile, head(200) }));
}

TEST(RemoteErrorValidation, downloadEvents)
{
    // Progress and waiting pass untouched; the finished event is validated like a finished download.
    EXPECT_EQ(validate(ProgressEvent<DownloadResponse>::progress(0.3))->progressValue(), 0.3);
    EXPECT_TRUE(validate(ProgressEvent<DownloadResponse>::waiting())->isWaiting());
    EXPECT_FALSE(validate(ProgressEvent<DownloadResponse>::downloaded({ std::nullopt, head(200) })));
    auto done = validate(ProgressEvent<DownloadResponse>::downloaded({ temporaryFile, head(206) }));
    ASSERT_TRUE(done);
    EXPECT_EQ(done->downloadedValue()->tempURL, temporaryFile);
}
