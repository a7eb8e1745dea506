#pragma once

#include "Platform/Foundation/Data.hpp"
#include "Quarlink/Errors/PresentableError.hpp"
#include "Reactive/AnyError.hpp"

#include <vector>

namespace Quarlink {

// A failure the client library detects itself, not reported by the service or
// the transport. An immutable value.
class APIClientError final : public Reactive::Error, public PresentableError {
public:
    enum class Case {
        // A body that should be text or an image is neither; carries the body.
        parsingError,
        // Several operations failed; carries their errors.
        batch,
        // No valid session and no way to renew it.
        notLoggedIn,
        // A download ended without a usable file or response.
        invalidDownload,
        // The arguments of an operation cannot make a request (a batch size of
        // 0, a time that is not finite); nothing was sent.
        invalidRequest,
    };

    [[nodiscard]] static APIClientError parsingError(Platform::Data body);
    [[nodiscard]] static APIClientError batch(std::vector<Reactive::AnyError> errors);
    [[nodiscard]] static APIClientError notLoggedIn();
    [[nodiscard]] static APIClientError invalidDownload();
    [[nodiscard]] static APIClientError invalidRequest();

    [[nodiscard]] Case errorCase() const { return m_case; }
    // The body of `parsingError`; empty for the other cases.
    [[nodiscard]] const Platform::Data& body() const { return m_body; }
    // The errors of `batch`; empty for the other cases.
    [[nodiscard]] const std::vector<Reactive::AnyError>& errors() const { return m_errors; }

    // "Aufruf fehlgeschlagen" (without the period) for every case.
    [[nodiscard]] std::string subject() const override;
    [[nodiscard]] std::string reason() const override;
    [[nodiscard]] std::string description() const override;

    // Equal cases with equal data: bodies byte by byte. Two `batch` values are
    // never equal, not even a value with itself, as their errors cannot be compared.
    friend bool operator==(const APIClientError& left, const APIClientError& right);

private:
    explicit APIClientError(Case errorCase)
        : m_case(errorCase)
    {
    }

    Case m_case;
    Platform::Data m_body;
    std::vector<Reactive::AnyError> m_errors;
};

} // namespace Quarlink
