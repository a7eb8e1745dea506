// The texts of failed-request records, byte for byte, and which failures make one.

#include "Quarlink/Coding/JSONDecoder.hpp"
#include "Quarlink/Envelope/RequestErrorInfo.hpp"
#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"
#include "Quarlink/Errors/URLError.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

namespace {

Platform::URLRequest urlRequest(std::string method, std::string url, std::string body = {})
{
    Platform::URLRequest request;
    request.method = std::move(method);
    request.url = std::move(url);
    request.body = std::move(body);
    return request;
}

RemoteError failed(int status, std::int64_t code, std::string message, std::string body)
{
    return RemoteError::requestFailed(code, std::move(message),
        HTTPURLResponse(*Platform::URL::create("http://127.0.0.1/v2.0/x"), status, {}), Platform::Data::fromString(body));
}

DecodingError decodingError()
{
    return JSONDecoder::makeDefault().decode<std::int64_t>(std::string_view("")).error();
}

} // namespace

TEST(RequestErrorInfoTests, ServiceFailureWithRequestBody)
{
    // Request line, body, empty line, status line, response body, empty line, message; the code is the service's.
    auto info = RequestErrorInfo::make(urlRequest("POST", "http://127.0.0.1/v2.0/files/move", R"({"file_ids":[1]})"),
        Reactive::AnyError(failed(409, 4711, "Nicht erlaubt", R"({"code":4711})")));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->errorDesciption,
        "Request: POST http://127.0.0.1/v2.0/files/move\n{\"file_ids\":[1]}\n\nResponse: HTTP-409\n{\"code\":4711}\n\nMessage: Nicht erlaubt");
    EXPECT_EQ(info->errorCode, 4711);
}

TEST(RequestErrorInfoTests, WithoutBodiesAndWithInvalidUTF8)
{
    // No request body adds no line; a response body that is no UTF-8 leaves its line empty; a missing URL reads "unbekannt".
    auto info = RequestErrorInfo::make(urlRequest("GET", "http://127.0.0.1/v2.0/files"), Reactive::AnyError(failed(500, -1, "HTTP-500 ohne Fehler-Code", "\xFF\xFE")));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->errorDesciption, "Request: GET http://127.0.0.1/v2.0/files\n\nResponse: HTTP-500\n\n\nMessage: HTTP-500 ohne Fehler-Code");
    EXPECT_EQ(info->errorCode, -1);

    auto invalidRequestBody = RequestErrorInfo::make(urlRequest("PUT", "", "\xC3"), Reactive::AnyError(failed(400, 1, "m", "")));
    ASSERT_TRUE(invalidRequestBody);
    EXPECT_EQ(invalidRequestBody->errorDesciption, "Request: PUT unbekannt\n\nResponse: HTTP-400\n\n\nMessage: m");

    auto noRequest = RequestErrorInfo::make(std::nullopt, Reactive::AnyError(failed(400, 1, "m", "b")));
    EXPECT_EQ(noRequest->errorDesciption, "\nResponse: HTTP-400\nb\n\nMessage: m");
}

TEST(RequestErrorInfoTests, DecodingFailures)
{
    // A decoding failure gives -2 and its description after a line feed.
    auto error = decodingError();
    auto info = RequestErrorInfo::make(urlRequest("GET", "http://127.0.0.1/v2.0/files"), Reactive::AnyError(error));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->errorDesciption, "Request: GET http://127.0.0.1/v2.0/files\n\n" + error.description());
    EXPECT_EQ(info->errorCode, -2);
}

TEST(RequestErrorInfoTests, OtherFailuresMakeNoRecord)
{
    // Transport errors, named service errors, batch failures and client errors are not reported.
    auto request = urlRequest("GET", "http://127.0.0.1/v2.0/files");
    EXPECT_FALSE(RequestErrorInfo::make(request, Reactive::AnyError(AnyPresentableError(URLError(URLError::Code::timedOut)))));
    EXPECT_FALSE(RequestErrorInfo::make(request, Reactive::AnyError(URLError(URLError::Code::cannotConnectToHost))));
    EXPECT_FALSE(RequestErrorInfo::make(request, Reactive::AnyError(RemoteError(RemoteError::Case::authenticationRequired))));
    EXPECT_FALSE(RequestErrorInfo::make(request, Reactive::AnyError(RemoteError(RemoteError::Case::fileNotFound))));
    EXPECT_FALSE(RequestErrorInfo::make(request, Reactive::AnyError(RemoteError::batchRequestFailed(5, "x"))));
    EXPECT_FALSE(RequestErrorInfo::make(request, Reactive::AnyError(APIClientError::notLoggedIn())));
}
