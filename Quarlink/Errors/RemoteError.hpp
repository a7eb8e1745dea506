#pragma once

#include "Platform/Foundation/Data.hpp"
#include "Quarlink/Errors/PresentableError.hpp"
#include "Quarlink/HTTP/HTTPURLResponse.hpp"
#include "Reactive/AnyError.hpp"

#include <cstdint>
#include <expected>
#include <optional>
#include <string>

namespace Quarlink {

class JSONValueReader;
class DecodingError;

// A failure reported by the service: chosen by the numeric code of the
// "X-Error-Code" response header (or the "code" of a JSON error object), with
// the service's message kept where the case has no text of its own.
//
// Three cases carry data: `passThrough` (the message, which is also the reason),
// `batchRequestFailed` (code and message, for codes without a case when no
// response and body are known) and `requestFailed` (code, message, response and
// body). Every other case carries nothing. An immutable value.
class RemoteError final : public Reactive::Error, public PresentableError {
public:
    // In the order the service's catalogue lists them.
    enum class Case {
        passThrough,
        batchRequestFailed,
        requestFailed,
        authenticationRequired,
        loginFailed,
        accountTemporaryLocked,
        accountPermanentlyLocked,
        fileNotFound,
        folderAlreadyExists,
        fileAlreadyExists,
        filesNotMoved,
        storageExhausted,
        invalidFilePath,
        invalidFileName,
        invalidFileNameLength,
        notEnoughStorageToAcceptShare,
        imapConnectionFailed,
        mailNotFound,
        bodyCouldNotBeLoaded,
        invalidRecipientList,
        attachmentSizeExceeded,
        bodySizeExceeded,
        mailQuotaExceeded,
        mailFolderNotFound,
        externalAccountLoginFailed,
        externalAccountInvalidServerInfo,
        externalAccountAlreadyAdded,
        externalAccountLimitReached,
        illegalOperation,
        illegalShareOperation,
        rateLimitingReached,
    };

    // A case without data (the application raises `loginFailed` and
    // `filesNotMoved` this way). Given one of the three data cases, the data is
    // empty: code 0, an empty message, no response or body.
    explicit RemoteError(Case errorCase);

    [[nodiscard]] static RemoteError passThrough(std::string message);
    [[nodiscard]] static RemoteError batchRequestFailed(std::int64_t code, std::string message);
    [[nodiscard]] static RemoteError requestFailed(std::int64_t code, std::string message,
        HTTPURLResponse response, Platform::Data body);

    // The case of a service code. A listed code gives its case (1002 keeps the
    // message; the others drop message, response and body). Any other code:
    // `requestFailed` when both response and body are given, else
    // `batchRequestFailed`.
    [[nodiscard]] static RemoteError fromCode(std::int64_t code, std::string message,
        std::optional<HTTPURLResponse> response = std::nullopt, std::optional<Platform::Data> body = std::nullopt);

    // The error an HTTP response stands for: none below status 400; else the
    // case of its "X-Error-Code" and "X-Error-Message" headers (names matched
    // without regard to case; the code a whole decimal number with an optional
    // sign, within 64 bits). When either header is missing or unusable, the code
    // -1 with the message "HTTP-<status> ohne Fehler-Code". The body is carried,
    // never parsed.
    [[nodiscard]] static std::optional<RemoteError> fromResponse(const HTTPURLResponse& response, const Platform::Data& body);

    // The JSON form {"code": integer, "message": string}, both optional (absent
    // or null: -1 and "Keine Nachricht gesetzt"); other keys are ignored. A
    // listed code gives its case, any other `batchRequestFailed`. Fails when the
    // value is not an object or a key holds the wrong type.
    [[nodiscard]] static std::expected<RemoteError, DecodingError> decode(const JSONValueReader& reader);

    [[nodiscard]] Case errorCase() const { return m_case; }
    // The code of `batchRequestFailed` and `requestFailed`; absent for the others.
    [[nodiscard]] std::optional<std::int64_t> code() const;
    // The message of `passThrough`, `batchRequestFailed` and `requestFailed`; absent for the others.
    [[nodiscard]] std::optional<std::string> message() const;
    // The response and body of `requestFailed`; null for the others.
    [[nodiscard]] const HTTPURLResponse* response() const { return m_response ? &*m_response : nullptr; }
    [[nodiscard]] const Platform::Data* body() const { return m_body ? &*m_body : nullptr; }

    // Whether an erased error is a `RemoteError` of the given case. Looks at the
    // error as it is; apply `underlyingError` first to see through re-titling.
    [[nodiscard]] static bool matches(const Reactive::AnyError& error, Case errorCase)
    {
        const auto* remote = error.as<RemoteError>();
        return remote && remote->errorCase() == errorCase;
    }

    // "Aufruf fehlgeschlagen." for every case.
    [[nodiscard]] std::string subject() const override;
    [[nodiscard]] std::string reason() const override;

    // "APIError: " and the case with its data, for diagnostics only.
    [[nodiscard]] std::string description() const override;

    // Same case and equal data (strings by content, responses by value, bodies byte by byte).
    friend bool operator==(const RemoteError& left, const RemoteError& right);

private:
    Case m_case;
    std::int64_t m_code { 0 };
    std::string m_message;
    std::optional<HTTPURLResponse> m_response;
    std::optional<Platform::Data> m_body;
};

// The name of a case as written in the catalogue ("fileNotFound").
[[nodiscard]] const char* caseName(RemoteError::Case errorCase);

} // namespace Quarlink
