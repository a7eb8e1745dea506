#pragma once

// Internal to Platform/Network: one running libcurl transfer of a session task.
// Lives on the transport thread only.

#include "Platform/Network/URLSession.hpp"

#include <curl/curl.h>

#include <expected>

namespace Platform {

class URLSessionTransfer {
public:
    // What a finished transfer hands to its completion.
    struct Outcome {
        std::optional<TransportError> error;
        std::string body;
        std::optional<std::filesystem::path> location;
    };

    // Prepares the easy handle, opens the upload source or creates the
    // download's temporary file. Fails with the error the task completes with.
    [[nodiscard]] static std::expected<std::unique_ptr<URLSessionTransfer>, TransportError> create(
        std::shared_ptr<URLSessionTask> task, const std::filesystem::path& uploadFile,
        const URLSessionConfiguration& configuration, CURLSH* share, URLSessionDelegate* delegate);
    ~URLSessionTransfer();
    URLSessionTransfer(const URLSessionTransfer&) = delete;
    URLSessionTransfer& operator=(const URLSessionTransfer&) = delete;

    [[nodiscard]] CURL* handle() const { return m_handle; }
    [[nodiscard]] URLSessionTask::Identifier identifier() const { return m_task->identifier(); }

    // Called when libcurl reports the transfer done. True when its answer was a
    // redirect the task follows: the handle then points at the target, checked
    // to be on the task's origin, and goes back to the multi handle for the
    // next hop. Otherwise (a failure recorded, if any) `finish` comes next.
    [[nodiscard]] bool followRedirect(CURLcode result);

    // Turns libcurl's result into the outcome. A failed download's temporary
    // file is removed here; a successful one is handed over in `location`.
    [[nodiscard]] Outcome finish(CURLcode result);

private:
    explicit URLSessionTransfer(std::shared_ptr<URLSessionTask> task, URLSessionDelegate* delegate);

    [[nodiscard]] std::optional<TransportError> configure(const std::filesystem::path& uploadFile,
        const URLSessionConfiguration& configuration, CURLSH* share);
    [[nodiscard]] std::optional<TransportError> configureBody(const std::filesystem::path& uploadFile,
        const std::filesystem::path& temporaryDirectory);
    [[nodiscard]] std::optional<TransportError> createTemporaryFile(const std::filesystem::path& temporaryDirectory);
    void configureHeaders();
    void removeTemporaryFile();
    void closeFiles();

    static size_t onHeader(char* buffer, size_t size, size_t count, void* context);
    static curl_socket_t onOpenSocket(void* context, curlsocktype purpose, curl_sockaddr* address);
    static int onRequestReady(void* context, char* connectedAddress, char* localAddress, int connectedPort, int localPort);
    // Whether the address the handle is about to reach has the scheme, host
    // and port of the task's own; `refuseOtherOrigin` records the failure.
    [[nodiscard]] bool staysOnItsOrigin() const;
    void refuseOtherOrigin();
    [[nodiscard]] static bool isRedirect(long status);
    static size_t onWrite(char* buffer, size_t size, size_t count, void* context);
    static size_t onRead(char* buffer, size_t size, size_t count, void* context);
    static int onTransferInfo(void* context, curl_off_t downloadTotal, curl_off_t downloaded,
        curl_off_t uploadTotal, curl_off_t uploaded);
    // False when the transfer must stop (a redirect it may not follow). A
    // redirect the task follows is no final answer: `m_redirecting` is set.
    [[nodiscard]] bool endHeaderBlock();
    // True (and the task's error set) when the transfer waited longer than it may.
    [[nodiscard]] bool hasTimedOut(curl_off_t downloaded, curl_off_t uploaded);

    const std::shared_ptr<URLSessionTask> m_task;
    URLSessionDelegate* const m_delegate;
    CURL* m_handle = nullptr;
    curl_slist* m_headerList = nullptr;
    char m_errorBuffer[CURL_ERROR_SIZE] = {};

    std::string m_requestBody;
    int m_uploadDescriptor = -1;
    int m_downloadDescriptor = -1;
    std::filesystem::path m_temporaryFile;
    std::string m_responseBody;
    std::optional<TransportError> m_localError;
    std::size_t m_maximumBodySize = URLRequest::defaultMaximumBodySize;
    bool m_followsRedirects = false;
    long m_maximumRedirects = 0;
    long m_redirectsFollowed = 0;
    // The current answer is a redirect to follow; its body is counted, not kept.
    bool m_redirecting = false;
    std::size_t m_discardedBytes = 0;

    HTTPResponseHead m_currentResponse;
    bool m_hasFinalResponse = false;
    std::int64_t m_bytesSent = 0;
    std::int64_t m_bytesReceived = 0;

    std::chrono::seconds m_idleTimeout {};
    std::chrono::seconds m_answerTimeout {};
    // When a byte last moved either way (a header line counts); unset until the transfer runs.
    std::optional<std::chrono::steady_clock::time_point> m_lastMovement;
    curl_off_t m_movedDown = 0;
    curl_off_t m_movedUp = 0;
};

} // namespace Platform
