// Service errors made from responses, codes and JSON error objects.

#include "Quarlink/Coding/JSONDecoder.hpp"
#include "Quarlink/Errors/RemoteError.hpp"

#include <gtest/gtest.h>

#include <utility>

using namespace Quarlink;
using Case = RemoteError::Case;

namespace {

HTTPURLResponse response(int status, HTTPURLResponse::HeaderFields headers = {})
{
    return HTTPURLResponse(*Platform::URL::create("http://127.0.0.1:8642/v2.0/files"), status, std::move(headers));
}

const Platform::Data body = Platform::Data::fromString(R"({"code":5004})");

std::optional<RemoteError> fromHeaders(int status, std::string code, std::string message = "Nachricht")
{
    return RemoteError::fromResponse(response(status, { { "X-Error-Code", std::move(code) }, { "X-Error-Message", std::move(message) } }), body);
}

} // namespace

TEST(RemoteError, everyListedCodeGivesItsCase)
{
    // The code table maps each listed service code to its case and drops the message.
    const std::vector<std::pair<std::int64_t, Case>> table {
        { 3001, Case::authenticationRequired }, { 3002, Case::authenticationRequired },
        { 40326, Case::loginFailed }, { 40328, Case::loginFailed },
        { 40330, Case::accountTemporaryLocked }, { 40334, Case::accountTemporaryLocked },
        { 40322, Case::accountPermanentlyLocked }, { 40336, Case::accountPermanentlyLocked },
        { 404, Case::fileNotFound }, { 5004, Case::fileNotFound }, { 5007, Case::fileNotFound },
        { 4014, Case::folderAlreadyExists }, { 4201, Case::folderAlreadyExists }, { 5010, Case::folderAlreadyExists },
        { 5013, Case::storageExhausted }, { 5012, Case::invalidFilePath }, { 5011, Case::invalidFileName },
        { 6009, Case::notEnoughStorageToAcceptShare }, { 4300, Case::mailNotFound },
        { 4025, Case::invalidRecipientList }, { 4033, Case::attachmentSizeExceeded },
        { 4036, Case::bodySizeExceeded }, { 4018, Case::mailQuotaExceeded }, { 4037, Case::mailQuotaExceeded },
        { 4200, Case::mailFolderNotFound },
        { 4100, Case::externalAccountLoginFailed }, { 4501, Case::externalAccountLoginFailed },
        { 4504, Case::externalAccountLoginFailed }, { 14003, Case::externalAccountLoginFailed },
        { 14004, Case::externalAccountLoginFailed }, { 14005, Case::externalAccountLoginFailed },
        { 14006, Case::externalAccountLoginFailed }, { 14013, Case::externalAccountLoginFailed },
        { 4500, Case::externalAccountInvalidServerInfo }, { 4502, Case::externalAccountInvalidServerInfo },
        { 4110, Case::externalAccountAlreadyAdded }, { 14010, Case::externalAccountAlreadyAdded },
        { 4105, Case::externalAccountLimitReached }, { 14007, Case::externalAccountLimitReached },
        { 5047, Case::illegalOperation }, { 6012, Case::illegalOperation },
        { 6010, Case::illegalShareOperation }, { 7000, Case::rateLimitingReached },
    };
    for (const auto& [code, expected] : table) {
        auto error = RemoteError::fromCode(code, "Nachricht", response(400), body);
        EXPECT_EQ(error.errorCase(), expected) << code;
        EXPECT_EQ(error, RemoteError(expected)) << code;
        EXPECT_EQ(error.message(), std::nullopt);
    }
    EXPECT_EQ(RemoteError::fromCode(1002, "Eigene Nachricht"), RemoteError::passThrough("Eigene Nachricht"));
}

TEST(RemoteError, unlistedCodesBecomeGenericCases)
{
    // Neighbours of listed codes, zero and negative codes are generic: requestFailed with response and body, else batchRequestFailed.
    for (std::int64_t code : { 4015, 4503, 5005, 6011, 14008, 0, -7 }) {
        auto withResponse = RemoteError::fromCode(code, "m", response(400), body);
        EXPECT_EQ(withResponse, RemoteError::requestFailed(code, "m", response(400), body)) << code;
        EXPECT_EQ(RemoteError::fromCode(code, "m", response(400)), RemoteError::batchRequestFailed(code, "m")) << code;
        EXPECT_EQ(RemoteError::fromCode(code, "m", std::nullopt, body), RemoteError::batchRequestFailed(code, "m")) << code;
    }
}

TEST(RemoteError, statusBelow400IsNoError)
{
    // A status of 399 is a success even with error headers; 400 is the first failure.
    EXPECT_FALSE(fromHeaders(399, "3001").has_value());
    EXPECT_FALSE(RemoteError::fromResponse(response(200), body).has_value());
    auto failure = fromHeaders(400, "3001");
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->errorCase(), Case::authenticationRequired);
}

TEST(RemoteError, headersGiveTheirCase)
{
    // Code and message headers choose the case; 401 with 3001 is an expired session.
    auto expired = fromHeaders(401, "3001", "egal");
    ASSERT_TRUE(expired);
    EXPECT_EQ(expired->errorCase(), Case::authenticationRequired);
    EXPECT_EQ(expired->reason(), "Session abgelaufen.");

    auto passThrough = fromHeaders(400, "1002", "Genau dieser Text.");
    ASSERT_TRUE(passThrough);
    EXPECT_EQ(*passThrough, RemoteError::passThrough("Genau dieser Text."));
    EXPECT_EQ(passThrough->reason(), "Genau dieser Text.");

    auto unknown = fromHeaders(500, "9999", "Interner Fehler");
    ASSERT_TRUE(unknown);
    EXPECT_EQ(*unknown, RemoteError::requestFailed(9999, "Interner Fehler",
                            response(500, { { "X-Error-Code", "9999" }, { "X-Error-Message", "Interner Fehler" } }), body));
    EXPECT_EQ(unknown->reason(), "Die Aktion konnte nicht durchgeführt werden");
}

TEST(RemoteError, headerNamesMatchInAnyLetterCase)
{
    // HTTP/2 sends header names in lower case; they must still be found.
    auto lower = RemoteError::fromResponse(response(401, { { "x-error-code", "3001" }, { "x-error-message", "abgelaufen" } }), body);
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower->errorCase(), Case::authenticationRequired);
    auto mixed = RemoteError::fromResponse(response(400, { { "X-ERROR-CODE", "5013" }, { "x-Error-Message", "voll" } }), body);
    ASSERT_TRUE(mixed);
    EXPECT_EQ(mixed->errorCase(), Case::storageExhausted);
}

TEST(RemoteError, status404WithoutHeadersIsNotFileNotFound)
{
    // The HTTP status is not a service code: 404 without headers is a generic failure with the fallback message.
    auto failure = RemoteError::fromResponse(response(404), body);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->errorCase(), Case::requestFailed);
    EXPECT_EQ(failure->code(), -1);
    EXPECT_EQ(failure->message(), "HTTP-404 ohne Fehler-Code");
    ASSERT_NE(failure->body(), nullptr);
    EXPECT_EQ(*failure->body(), body);
    EXPECT_EQ(failure->response()->statusCode(), 404);

    auto coded = fromHeaders(404, "404");
    ASSERT_TRUE(coded);
    EXPECT_EQ(coded->errorCase(), Case::fileNotFound);
}

TEST(RemoteError, unusableHeadersFallBackToMinusOne)
{
    // A code without message, a code that is not a whole number in range, or a missing code gives code -1 and "HTTP-<status> ohne Fehler-Code".
    auto expectFallback = [](std::optional<RemoteError> failure, int status) {
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->errorCase(), Case::requestFailed);
        EXPECT_EQ(failure->code(), -1);
        EXPECT_EQ(failure->message(), "HTTP-" + std::to_string(status) + " ohne Fehler-Code");
    };
    expectFallback(RemoteError::fromResponse(response(500, { { "X-Error-Code", "5013" } }), body), 500);
    expectFallback(RemoteError::fromResponse(response(400, { { "X-Error-Message", "nur Text" } }), body), 400);
    for (const char* code : { "3001 ", " 3001", "abc", "", "+", "-", "+-3001", "30.01", "0x10", "9223372036854775808" }) {
        SCOPED_TRACE(code);
        expectFallback(fromHeaders(401, code), 401);
    }
}

TEST(RemoteError, signedCodesAreAccepted)
{
    // A leading sign is part of a whole decimal number: "+3001" is 3001, "-5" an unlisted code.
    auto plus = fromHeaders(401, "+3001");
    ASSERT_TRUE(plus);
    EXPECT_EQ(plus->errorCase(), Case::authenticationRequired);
    auto negative = fromHeaders(400, "-5");
    ASSERT_TRUE(negative);
    EXPECT_EQ(negative->code(), -5);
    auto largest = fromHeaders(400, "9223372036854775807");
    ASSERT_TRUE(largest);
    EXPECT_EQ(largest->code(), INT64_MAX);
}

TEST(RemoteError, decodesJSONErrorObjects)
{
    // Error objects of batch results: missing keys take -1 and "Keine Nachricht gesetzt"; listed codes give their case.
    auto decoder = JSONDecoder::makeDefault();
    EXPECT_EQ(decoder.decode<RemoteError>("{}"), RemoteError::batchRequestFailed(-1, "Keine Nachricht gesetzt"));
    EXPECT_EQ(decoder.decode<RemoteError>(R"({"code":null,"message":null})"), RemoteError::batchRequestFailed(-1, "Keine Nachricht gesetzt"));
    EXPECT_EQ(decoder.decode<RemoteError>(R"({"code":5004})"), RemoteError(Case::fileNotFound));
    EXPECT_EQ(decoder.decode<RemoteError>(R"({"code":17,"message":"kaputt","extra":true})"), RemoteError::batchRequestFailed(17, "kaputt"));
    EXPECT_EQ(decoder.decode<RemoteError>(R"({"code":1002,"message":"durch"})"), RemoteError::passThrough("durch"));

    auto list = decoder.decode<std::vector<RemoteError>>(R"([{"code":3001},{"code":9}])");
    ASSERT_TRUE(list);
    EXPECT_EQ(list->at(0), RemoteError(Case::authenticationRequired));
    EXPECT_EQ(list->at(1), RemoteError::batchRequestFailed(9, "Keine Nachricht gesetzt"));
}

TEST(RemoteError, malformedJSONErrorObjectsFail)
{
    // A code that is not an integer, a message that is not a string, or no object fails the whole document.
    auto decoder = JSONDecoder::makeDefault();
    auto text = decoder.decode<RemoteError>(R"({"code":"5004"})");
    ASSERT_FALSE(text);
    EXPECT_EQ(text.error().kind(), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(text.error().codingPath(), std::vector<std::string> { "code" });
    EXPECT_FALSE(decoder.decode<RemoteError>(R"({"code":5004.5})"));
    EXPECT_FALSE(decoder.decode<RemoteError>(R"({"code":true})"));
    EXPECT_FALSE(decoder.decode<RemoteError>(R"({"message":3})"));
    EXPECT_EQ(decoder.decode<RemoteError>("[]").error().kind(), DecodingError::Kind::typeMismatch);
}

TEST(RemoteError, equalityComparesCaseAndEveryDatum)
{
    // Equal only with the same case and equal data; requestFailed bodies are compared byte by byte.
    auto first = RemoteError::requestFailed(9, "m", response(500), Platform::Data::fromString("a"));
    auto second = RemoteError::requestFailed(9, "m", response(500), Platform::Data::fromString("b"));
    EXPECT_NE(first, second);
    EXPECT_EQ(first, RemoteError::requestFailed(9, "m", response(500), Platform::Data::fromString("a")));
    EXPECT_NE(first, RemoteError::requestFailed(9, "m", response(501), Platform::Data::fromString("a")));
    EXPECT_NE(RemoteError::batchRequestFailed(9, "m"), RemoteError::batchRequestFailed(9, "n"));
    EXPECT_NE(RemoteError::batchRequestFailed(9, "m"), RemoteError::batchRequestFailed(8, "m"));
    EXPECT_NE(RemoteError(Case::loginFailed), RemoteError(Case::filesNotMoved));
    EXPECT_EQ(RemoteError(Case::loginFailed), RemoteError(Case::loginFailed));
}

TEST(RemoteError, describesItselfForDiagnostics)
{
    // The diagnostic text names the case and its data behind "APIError: ".
    EXPECT_EQ(RemoteError(Case::fileNotFound).description(), "APIError: fileNotFound");
    EXPECT_EQ(RemoteError::batchRequestFailed(17, "x").description(), "APIError: batchRequestFailed(17, \"x\")");
}
