#include "Platform/Network/URLSessionTransfer.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

// Scheme, host and port of a URL (the port filled in from the scheme), or
// nothing when it cannot be read. A `reference` is resolved against `base`.
std::optional<std::tuple<std::string, std::string, std::string>> origin(const char* base, const std::string& reference)
{
    CURLU* url = curl_url();
    if (!url)
        return std::nullopt;
    std::optional<std::tuple<std::string, std::string, std::string>> result;
    if (curl_url_set(url, CURLUPART_URL, base, 0) == CURLUE_OK
        && (reference.empty() || curl_url_set(url, CURLUPART_URL, reference.c_str(), 0) == CURLUE_OK)) {
        char* parts[3] = {};
        if (curl_url_get(url, CURLUPART_SCHEME, &parts[0], 0) == CURLUE_OK
            && curl_url_get(url, CURLUPART_HOST, &parts[1], 0) == CURLUE_OK
            && curl_url_get(url, CURLUPART_PORT, &parts[2], CURLU_DEFAULT_PORT) == CURLUE_OK)
            result.emplace(parts[0], parts[1], parts[2]);
        for (char* part : parts)
            curl_free(part);
    }
    curl_url_cleanup(url);
    return result;
}

// The status code of a status line written exactly as HTTP writes one:
// "HTTP/" and a version ("1.1", "2"), one blank, three digits, then nothing or
// one blank and the reason. Anything else (two blanks, a tab, a sign, a
// fourth digit) is a line libcurl might read otherwise than we do.
std::optional<long> wellFormedStatusCode(std::string_view line)
{
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    if (!line.starts_with("HTTP/"))
        return std::nullopt;
    line.remove_prefix(5);
    if (line.empty() || !digit(line.front()))
        return std::nullopt;
    line.remove_prefix(1);
    if (line.size() >= 2 && line[0] == '.' && digit(line[1]))
        line.remove_prefix(2);
    if (line.size() < 4 || line[0] != ' ' || !digit(line[1]) || !digit(line[2]) || !digit(line[3]))
        return std::nullopt;
    long code = (line[1] - '0') * 100 + (line[2] - '0') * 10 + (line[3] - '0');
    line.remove_prefix(4);
    if (!line.empty() && line.front() != ' ')
        return std::nullopt;
    return code;
}

bool writeAll(int descriptor, const char* buffer, size_t length)
{
    while (length > 0) {
        ssize_t written = ::write(descriptor, buffer, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        buffer += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace

URLSessionTransfer::URLSessionTransfer(std::shared_ptr<URLSessionTask> task, URLSessionDelegate* delegate)
    : m_task(std::move(task))
    , m_delegate(delegate)
{
}

std::expected<std::unique_ptr<URLSessionTransfer>, TransportError> URLSessionTransfer::create(
    std::shared_ptr<URLSessionTask> task, const std::filesystem::path& uploadFile,
    const URLSessionConfiguration& configuration, CURLSH* share, URLSessionDelegate* delegate)
{
    std::unique_ptr<URLSessionTransfer> transfer(new URLSessionTransfer(std::move(task), delegate));
    transfer->m_handle = curl_easy_init();
    if (!transfer->m_handle)
        return std::unexpected(TransportError(TransportError::Code::unknown, CURLE_FAILED_INIT, "curl_easy_init failed"));
    if (auto error = transfer->configure(uploadFile, configuration, share))
        return std::unexpected(std::move(*error));
    return transfer;
}

URLSessionTransfer::~URLSessionTransfer()
{
    closeFiles();
    removeTemporaryFile();
    if (m_handle)
        curl_easy_cleanup(m_handle);
    if (m_headerList)
        curl_slist_free_all(m_headerList);
}

std::optional<TransportError> URLSessionTransfer::configure(const std::filesystem::path& uploadFile,
    const URLSessionConfiguration& configuration, CURLSH* share)
{
    const URLRequest& request = m_task->originalRequest();
    CURL* handle = m_handle;
    curl_easy_setopt(handle, CURLOPT_URL, request.url.c_str());
    m_maximumBodySize = request.maximumBodySize;
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_PRIVATE, this);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, m_errorBuffer);
    curl_easy_setopt(handle, CURLOPT_SHARE, share);
    // An empty cookie file switches the cookie engine on without reading a file.
    curl_easy_setopt(handle, CURLOPT_COOKIEFILE, "");
    // A redirect must not carry a body (a password, say) anywhere, so only a
    // bodiless GET or HEAD follows one, and only within its origin. libcurl
    // never follows one by itself: left to it, a redirect it reads in an
    // answer we refuse (a head cut short, a 304 with a Location) would
    // already have connected to the other host before any check of ours ran.
    // `followRedirect` decides each hop, and the handle connects only to an
    // address that decision has checked.
    m_followsRedirects = (request.method == "GET" || request.method == "HEAD") && request.body.empty()
        && m_task->kind() != URLSessionTask::Kind::upload;
    m_maximumRedirects = configuration.maximumRedirects;
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 0L);
    // Should anything still point the handle elsewhere, no socket is opened
    // for it, and no request goes out on a connection it finds open.
    curl_easy_setopt(handle, CURLOPT_OPENSOCKETFUNCTION, &URLSessionTransfer::onOpenSocket);
    curl_easy_setopt(handle, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(handle, CURLOPT_PREREQFUNCTION, &URLSessionTransfer::onRequestReady);
    curl_easy_setopt(handle, CURLOPT_PREREQDATA, this);
    // An idle time-out instead of a total one: fail only when nothing moved
    // at all (`hasTimedOut`). libcurl's own stall check would also count the
    // wait for an upload's answer as idle, so it only backs ours up; while set
    // it also wakes the transfer every second, which is what lets ours run.
    m_idleTimeout = request.idleTimeout.value_or(configuration.idleTimeout);
    m_answerTimeout = std::max(configuration.answerTimeout, m_idleTimeout);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>((m_idleTimeout + m_answerTimeout).count()));
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(configuration.connectTimeout.count()));
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, configuration.verifiesPeer ? 1L : 0L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, configuration.verifiesPeer ? 2L : 0L);
    // A proxy's answer to CONNECT is no answer of the service (and libcurl keeps its code apart).
    curl_easy_setopt(handle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, &URLSessionTransfer::onHeader);
    curl_easy_setopt(handle, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &URLSessionTransfer::onWrite);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &URLSessionTransfer::onTransferInfo);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    configureHeaders();
    return configureBody(uploadFile, configuration.temporaryDirectory);
}

void URLSessionTransfer::configureHeaders()
{
    const URLRequest& request = m_task->originalRequest();
    // The transport decodes whatever it announces; an explicit field narrows
    // what is announced, the default announces every encoding it can decode.
    auto acceptEncoding = request.headers.value("Accept-Encoding").value_or("");
    curl_easy_setopt(m_handle, CURLOPT_ACCEPT_ENCODING, acceptEncoding.c_str());
    for (const auto& [name, value] : request.headers.fields()) {
        if (HTTPHeaders::namesEqual(name, "Accept-Encoding"))
            continue;
        // "Name;" is libcurl's way to send a field with an empty value.
        std::string line = value.empty() ? name + ";" : name + ": " + value;
        m_headerList = curl_slist_append(m_headerList, line.c_str());
    }
    if (m_headerList)
        curl_easy_setopt(m_handle, CURLOPT_HTTPHEADER, m_headerList);
}

std::optional<TransportError> URLSessionTransfer::createTemporaryFile(const std::filesystem::path& temporaryDirectory)
{
    std::error_code error;
    auto folder = temporaryDirectory.empty() ? std::filesystem::temp_directory_path(error) : temporaryDirectory;
    std::string pattern = (folder / "download-XXXXXX").string();
    m_downloadDescriptor = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_downloadDescriptor < 0)
        return TransportError(TransportError::Code::cannotCreateFile, CURLE_WRITE_ERROR, "cannot create " + pattern);
    m_temporaryFile = pattern;
    return std::nullopt;
}

std::optional<TransportError> URLSessionTransfer::configureBody(const std::filesystem::path& uploadFile,
    const std::filesystem::path& temporaryDirectory)
{
    const URLRequest& request = m_task->originalRequest();
    switch (m_task->kind()) {
    case URLSessionTask::Kind::upload: {
        // A pipe or link swapped in for the file must neither block nor redirect the read.
        m_uploadDescriptor = ::open(uploadFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        struct stat status {};
        if (m_uploadDescriptor < 0 || ::fstat(m_uploadDescriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
            int error = errno;
            auto code = (m_uploadDescriptor < 0 && error == ENOENT) ? TransportError::Code::fileDoesNotExist
                                                                      : TransportError::Code::cannotOpenFile;
            return TransportError(code, CURLE_READ_ERROR, "cannot read upload source " + uploadFile.string());
        }
        m_task->setExpectedToSend(status.st_size);
        curl_easy_setopt(m_handle, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(m_handle, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(status.st_size));
        curl_easy_setopt(m_handle, CURLOPT_READFUNCTION, &URLSessionTransfer::onRead);
        curl_easy_setopt(m_handle, CURLOPT_READDATA, this);
        if (request.method != "PUT")
            curl_easy_setopt(m_handle, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        return std::nullopt;
    }
    case URLSessionTask::Kind::download:
        if (auto error = createTemporaryFile(temporaryDirectory))
            return error;
        // Larger reads mean fewer writes to the file and fewer progress calls on big bodies.
        curl_easy_setopt(m_handle, CURLOPT_BUFFERSIZE, 256L * 1024L);
        break;
    case URLSessionTask::Kind::data:
        break;
    }
    if (request.method == "GET" && request.body.empty()) {
        curl_easy_setopt(m_handle, CURLOPT_HTTPGET, 1L);
    } else if (request.method == "HEAD") {
        curl_easy_setopt(m_handle, CURLOPT_NOBODY, 1L);
    } else {
        m_requestBody = request.body;
        m_task->setExpectedToSend(static_cast<std::int64_t>(m_requestBody.size()));
        curl_easy_setopt(m_handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_requestBody.size()));
        curl_easy_setopt(m_handle, CURLOPT_POSTFIELDS, m_requestBody.data());
        if (request.method != "POST")
            curl_easy_setopt(m_handle, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    return std::nullopt;
}

size_t URLSessionTransfer::onHeader(char* buffer, size_t size, size_t count, void* context)
{
    auto* transfer = static_cast<URLSessionTransfer*>(context);
    size_t length = size * count;
    std::string_view line = trimmed(std::string_view(buffer, length));
    transfer->m_lastMovement = std::chrono::steady_clock::now();
    if (line.starts_with("HTTP/")) {
        // Every status line opens a new block: redirects and interim answers
        // ("100 Continue") must not leave their fields in the final response.
        transfer->m_currentResponse = HTTPResponseHead {};
        std::string_view raw(buffer, length);
        while (raw.ends_with('\n') || raw.ends_with('\r'))
            raw.remove_suffix(1);
        auto code = wellFormedStatusCode(raw);
        if (!code) {
            transfer->m_localError = TransportError(TransportError::Code::badServerResponse, CURLE_WRITE_ERROR,
                "malformed status line refused: " + std::string(raw.substr(0, 64)));
            return 0;
        }
        transfer->m_currentResponse.statusCode = *code;
    } else if (line.empty()) {
        if (!transfer->endHeaderBlock())
            return 0;
    } else if (auto colon = line.find(':'); colon != std::string_view::npos) {
        transfer->m_currentResponse.headers.add(std::string(trimmed(line.substr(0, colon))),
            std::string(trimmed(line.substr(colon + 1))));
    }
    return length;
}

bool URLSessionTransfer::endHeaderBlock()
{
    // What libcurl acts on is its own reading of the status line; ours must
    // be the same, or the checks below judge another answer than libcurl's.
    long parsed = 0;
    if (curl_easy_getinfo(m_handle, CURLINFO_RESPONSE_CODE, &parsed) != CURLE_OK || parsed != m_currentResponse.statusCode) {
        m_localError = TransportError(TransportError::Code::badServerResponse, CURLE_WRITE_ERROR,
            "status line read as " + std::to_string(m_currentResponse.statusCode) + " and as " + std::to_string(parsed));
        return false;
    }
    long status = m_currentResponse.statusCode;
    if (status >= 100 && status < 200)
        return true;
    char* effectiveURL = nullptr;
    if (curl_easy_getinfo(m_handle, CURLINFO_EFFECTIVE_URL, &effectiveURL) == CURLE_OK && effectiveURL)
        m_currentResponse.url = effectiveURL;
    if (auto location = m_currentResponse.headers.value("Location"); m_followsRedirects && location && isRedirect(status)) {
        // Refused as soon as the head says where it goes, without reading its
        // body; `followRedirect` checks again what libcurl read as the target.
        auto from = origin(m_task->originalRequest().url.c_str(), "");
        auto to = origin(m_currentResponse.url.c_str(), *location);
        if (!from || !to || *from != *to) {
            m_localError = TransportError(TransportError::Code::redirectToOtherOrigin, CURLE_WRITE_ERROR,
                "redirect from " + m_currentResponse.url + " to another origin refused: " + *location);
            return false;
        }
        m_redirecting = true;
        return true;
    }
    m_redirecting = false;
    // A length stated for an encoded body says nothing about the decoded bytes we count.
    auto encoding = m_currentResponse.headers.value("Content-Encoding");
    bool decoded = encoding && !encoding->empty() && *encoding != "identity";
    auto expected = decoded ? std::nullopt : m_currentResponse.expectedContentLength();
    m_task->setExpectedToReceive(expected.value_or(-1));
    // A body kept in memory is sized once from the announced length: grown by
    // doubling, a listing of many megabytes would briefly need its old and new
    // buffer at once and then hold up to twice what it needs. A length over
    // the request's limit fails in `onWrite` anyway, so no more is reserved.
    if (m_downloadDescriptor < 0 && expected && *expected > 0 && m_responseBody.empty()
        && m_task->originalRequest().method != "HEAD")
        m_responseBody.reserve(std::min(static_cast<std::size_t>(*expected), m_maximumBodySize));
    m_hasFinalResponse = true;
    m_task->setResponse(m_currentResponse);
    return true;
}

bool URLSessionTransfer::isRedirect(long status)
{
    // 304 says the copy at hand is current, 305 and 306 are no longer used:
    // whatever Location they carry leads nowhere a client goes.
    return status == 300 || status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool URLSessionTransfer::followRedirect(CURLcode result)
{
    if (result != CURLE_OK || m_localError || !m_redirecting)
        return false;
    // The target is libcurl's own reading of the answer, resolved against
    // the address it answered: the very address the next hop connects to.
    char* target = nullptr;
    if (curl_easy_getinfo(m_handle, CURLINFO_REDIRECT_URL, &target) != CURLE_OK || !target) {
        m_localError = TransportError(TransportError::Code::badServerResponse, CURLE_OK,
            "redirect from " + m_currentResponse.url + " without a target libcurl could read");
        return false;
    }
    std::string next = target;
    auto from = origin(m_task->originalRequest().url.c_str(), "");
    auto to = origin(next.c_str(), "");
    if (!from || !to || *from != *to) {
        m_localError = TransportError(TransportError::Code::redirectToOtherOrigin, CURLE_OK,
            "redirect from " + m_currentResponse.url + " to another origin refused: " + next);
        return false;
    }
    if (m_redirectsFollowed >= m_maximumRedirects) {
        m_localError = TransportError(TransportError::Code::httpTooManyRedirects, CURLE_TOO_MANY_REDIRECTS,
            "more than " + std::to_string(m_maximumRedirects) + " redirects, the last to " + next);
        return false;
    }
    ++m_redirectsFollowed;
    curl_easy_setopt(m_handle, CURLOPT_URL, next.c_str());
    // The next hop is a transfer of its own: nothing of this answer carries over.
    m_currentResponse = HTTPResponseHead {};
    m_redirecting = false;
    m_hasFinalResponse = false;
    m_discardedBytes = 0;
    m_responseBody.clear();
    m_errorBuffer[0] = '\0';
    m_lastMovement.reset();
    m_movedDown = 0;
    m_movedUp = 0;
    return true;
}

bool URLSessionTransfer::staysOnItsOrigin() const
{
    char* effectiveURL = nullptr;
    if (curl_easy_getinfo(m_handle, CURLINFO_EFFECTIVE_URL, &effectiveURL) != CURLE_OK || !effectiveURL)
        return false;
    auto from = origin(m_task->originalRequest().url.c_str(), "");
    auto to = origin(effectiveURL, "");
    return from && to && *from == *to;
}

void URLSessionTransfer::refuseOtherOrigin()
{
    if (m_localError)
        return;
    char* effectiveURL = nullptr;
    if (curl_easy_getinfo(m_handle, CURLINFO_EFFECTIVE_URL, &effectiveURL) != CURLE_OK || !effectiveURL)
        effectiveURL = const_cast<char*>("");
    m_localError = TransportError(TransportError::Code::redirectToOtherOrigin, CURLE_ABORTED_BY_CALLBACK,
        "request to " + std::string(effectiveURL) + " refused: the task was made for " + m_task->originalRequest().url);
}

curl_socket_t URLSessionTransfer::onOpenSocket(void* context, curlsocktype, curl_sockaddr* address)
{
    auto* transfer = static_cast<URLSessionTransfer*>(context);
    if (!transfer->staysOnItsOrigin()) {
        transfer->refuseOtherOrigin();
        return CURL_SOCKET_BAD;
    }
    return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

int URLSessionTransfer::onRequestReady(void* context, char*, char*, int, int)
{
    auto* transfer = static_cast<URLSessionTransfer*>(context);
    if (transfer->staysOnItsOrigin())
        return CURL_PREREQFUNC_OK;
    transfer->refuseOtherOrigin();
    return CURL_PREREQFUNC_ABORT;
}

size_t URLSessionTransfer::onWrite(char* buffer, size_t size, size_t count, void* context)
{
    auto* transfer = static_cast<URLSessionTransfer*>(context);
    size_t length = size * count;
    if (length == 0)
        return 0;
    if (transfer->m_redirecting) {
        // A redirect's body (a page saying where it went) is no part of the
        // answer, but it may not run on without end either.
        transfer->m_discardedBytes += length;
        if (transfer->m_discardedBytes > transfer->m_maximumBodySize) {
            transfer->m_localError = TransportError(TransportError::Code::responseTooLarge, CURLE_WRITE_ERROR,
                "redirect body larger than " + std::to_string(transfer->m_maximumBodySize) + " bytes");
            return 0;
        }
        return length;
    }
    if (transfer->m_downloadDescriptor >= 0) {
        if (!writeAll(transfer->m_downloadDescriptor, buffer, length)) {
            transfer->m_localError = TransportError(TransportError::Code::cannotWriteToFile, CURLE_WRITE_ERROR,
                std::string("cannot write temporary file: ") + std::strerror(errno));
            return 0;
        }
    } else {
        if (length > transfer->m_maximumBodySize - transfer->m_responseBody.size()) {
            transfer->m_localError = TransportError(TransportError::Code::responseTooLarge, CURLE_WRITE_ERROR,
                "answer larger than " + std::to_string(transfer->m_maximumBodySize) + " bytes");
            return 0;
        }
        transfer->m_responseBody.append(buffer, length);
    }
    transfer->m_bytesReceived += static_cast<std::int64_t>(length);
    transfer->m_task->reportProgress(transfer->m_bytesSent, transfer->m_bytesReceived);
    return length;
}

size_t URLSessionTransfer::onRead(char* buffer, size_t size, size_t count, void* context)
{
    auto* transfer = static_cast<URLSessionTransfer*>(context);
    for (;;) {
        ssize_t got = ::read(transfer->m_uploadDescriptor, buffer, size * count);
        if (got >= 0)
            return static_cast<size_t>(got);
        if (errno == EINTR)
            continue;
        transfer->m_localError = TransportError(TransportError::Code::cannotOpenFile, CURLE_READ_ERROR,
            std::string("cannot read upload source: ") + std::strerror(errno));
        return CURL_READFUNC_ABORT;
    }
}

int URLSessionTransfer::onTransferInfo(void* context, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded)
{
    auto* transfer = static_cast<URLSessionTransfer*>(context);
    if (transfer->hasTimedOut(downloaded, uploaded))
        return 1;
    if (uploaded > transfer->m_bytesSent) {
        std::int64_t delta = uploaded - transfer->m_bytesSent;
        transfer->m_bytesSent = uploaded;
        transfer->m_task->reportProgress(transfer->m_bytesSent, transfer->m_bytesReceived);
        if (transfer->m_delegate) {
            transfer->m_delegate->didSendBodyData(*transfer->m_task, delta, transfer->m_bytesSent,
                transfer->m_task->countOfBytesExpectedToSend());
        }
    }
    return 0;
}

bool URLSessionTransfer::hasTimedOut(curl_off_t downloaded, curl_off_t uploaded)
{
    auto now = std::chrono::steady_clock::now();
    if (!m_lastMovement || downloaded != m_movedDown || uploaded != m_movedUp) {
        m_lastMovement = now;
        m_movedDown = downloaded;
        m_movedUp = uploaded;
        return false;
    }
    // Once an upload's file went out in full, the silence until the answer
    // begins is the service at work, not a stall.
    bool awaitingAnswer = m_task->kind() == URLSessionTask::Kind::upload && !m_hasFinalResponse && downloaded == 0
        && uploaded >= m_task->countOfBytesExpectedToSend();
    auto limit = awaitingAnswer ? m_answerTimeout : m_idleTimeout;
    if (now - *m_lastMovement < limit)
        return false;
    auto seconds = std::to_string(limit.count());
    m_localError = TransportError(TransportError::Code::timedOut, CURLE_OPERATION_TIMEDOUT,
        awaitingAnswer ? "no answer within " + seconds + " s after the upload was sent"
                       : "nothing moved for " + seconds + " s");
    return true;
}

URLSessionTransfer::Outcome URLSessionTransfer::finish(CURLcode result)
{
    closeFiles();
    Outcome outcome;
    if (m_localError) {
        outcome.error = m_localError;
    } else if (result != CURLE_OK) {
        std::string message = m_errorBuffer[0] ? std::string(m_errorBuffer) : std::string(curl_easy_strerror(result));
        outcome.error = TransportError(TransportError::codeForTransportCode(result), result, std::move(message));
    } else if (!m_hasFinalResponse) {
        outcome.error = TransportError(TransportError::Code::badServerResponse, CURLE_OK, "no HTTP response");
    }
    if (outcome.error) {
        removeTemporaryFile();
        return outcome;
    }
    outcome.body = std::move(m_responseBody);
    if (!m_temporaryFile.empty()) {
        outcome.location = m_temporaryFile;
        // From here on the session owns the file and removes it after the completion.
        m_temporaryFile.clear();
    }
    return outcome;
}

void URLSessionTransfer::closeFiles()
{
    if (m_uploadDescriptor >= 0)
        ::close(m_uploadDescriptor);
    if (m_downloadDescriptor >= 0)
        ::close(m_downloadDescriptor);
    m_uploadDescriptor = -1;
    m_downloadDescriptor = -1;
}

void URLSessionTransfer::removeTemporaryFile()
{
    if (m_temporaryFile.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove(m_temporaryFile, ignored);
    m_temporaryFile.clear();
}

} // namespace Platform
