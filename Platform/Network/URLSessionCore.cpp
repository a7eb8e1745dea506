#include "Platform/Network/URLSessionCore.hpp"

#include "Platform/Network/NetworkLog.hpp"
#include "Platform/Network/URLSessionTransfer.hpp"

#include <future>
#include <sstream>

namespace Platform {

namespace {

TransportError cancelledError()
{
    return TransportError(TransportError::Code::cancelled, CURLE_OK, "cancelled");
}

std::vector<std::string> splitTabs(const std::string& line)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream stream(line);
    while (std::getline(stream, part, '\t'))
        parts.push_back(part);
    return parts;
}

// One line of libcurl's cookie list, in the Netscape cookie file format.
std::optional<HTTPCookie> parseCookieLine(const std::string& line)
{
    auto parts = splitTabs(line);
    if (parts.size() < 6)
        return std::nullopt;
    HTTPCookie cookie;
    cookie.domain = parts[0];
    constexpr std::string_view httpOnlyPrefix = "#HttpOnly_";
    if (cookie.domain.starts_with(httpOnlyPrefix))
        cookie.domain.erase(0, httpOnlyPrefix.size());
    if (cookie.domain.starts_with('.'))
        cookie.domain.erase(0, 1);
    cookie.includesSubdomains = parts[1] == "TRUE";
    cookie.path = parts[2];
    cookie.isSecure = parts[3] == "TRUE";
    cookie.expires = std::strtoll(parts[4].c_str(), nullptr, 10);
    cookie.name = parts[5];
    cookie.value = parts.size() > 6 ? parts[6] : std::string();
    return cookie;
}

} // namespace

URLSessionCore::URLSessionCore(URLSessionConfiguration configuration, std::shared_ptr<URLSessionDelegate> delegate)
    : m_configuration(std::move(configuration))
    , m_delegate(std::move(delegate))
{
}

URLSessionCore::~URLSessionCore()
{
    if (m_cookieHandle)
        curl_easy_cleanup(m_cookieHandle);
    if (m_multi)
        curl_multi_cleanup(m_multi);
    if (m_share)
        curl_share_cleanup(m_share);
}

bool URLSessionCore::start()
{
    static std::once_flag globalInitialisation;
    std::call_once(globalInitialisation, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });

    m_multi = curl_multi_init();
    m_share = curl_share_init();
    m_cookieHandle = curl_easy_init();
    if (!m_multi || !m_share || !m_cookieHandle)
        return false;
    // All handles live on the transport thread, so the share needs no lock callbacks.
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    curl_easy_setopt(m_cookieHandle, CURLOPT_SHARE, m_share);
    curl_easy_setopt(m_cookieHandle, CURLOPT_COOKIEFILE, "");

    // The thread keeps the core alive, so a session released on the transport
    // thread itself can still wind down there.
    m_thread = std::thread([self = shared_from_this()] { self->run(); });
    return true;
}

void URLSessionCore::shutdown()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_invalidated = true;
    }
    curl_multi_wakeup(m_multi);
    if (!m_thread.joinable())
        return;
    if (onTransportThread())
        m_thread.detach();
    else
        m_thread.join();
}

bool URLSessionCore::onTransportThread() const
{
    return m_transportThreadID.load() == std::this_thread::get_id();
}

void URLSessionCore::post(std::function<void()> command)
{
    {
        std::lock_guard lock(m_mutex);
        m_commands.push_back(std::move(command));
    }
    curl_multi_wakeup(m_multi);
}

void URLSessionCore::runOnTransport(const std::function<void()>& work)
{
    if (onTransportThread() || m_loopEnded.load()) {
        work();
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    auto finished = done->get_future();
    post([&work, done] {
        work();
        done->set_value();
    });
    finished.wait();
}

void URLSessionCore::run()
{
    m_transportThreadID.store(std::this_thread::get_id());
    for (;;) {
        std::vector<std::function<void()>> commands;
        bool stopping = false;
        {
            std::lock_guard lock(m_mutex);
            commands.swap(m_commands);
            stopping = m_stopping;
        }
        for (auto& command : commands)
            command();
        if (stopping) {
            cancelEverything();
            break;
        }
        int running = 0;
        curl_multi_perform(m_multi, &running);
        collectFinishedTransfers();
        curl_multi_poll(m_multi, nullptr, 0, 1000, nullptr);
    }
    m_loopEnded.store(true);
}

void URLSessionCore::cancelEverything()
{
    // Completions may make new tasks while we wind down; they are cancelled too.
    for (;;) {
        std::vector<URLSessionTask::Identifier> identifiers;
        {
            std::lock_guard lock(m_mutex);
            for (const auto& [identifier, record] : m_records)
                identifiers.push_back(identifier);
            m_commands.clear();
        }
        if (identifiers.empty())
            return;
        for (auto identifier : identifiers)
            cancelTransfer(identifier);
    }
}

std::shared_ptr<URLSessionTask> URLSessionCore::makeTask(URLSessionTask::Kind kind, URLRequest request,
    std::filesystem::path uploadFile, URLSession::DataCompletion dataCompletion,
    URLSession::DownloadCompletion downloadCompletion)
{
    std::lock_guard lock(m_mutex);
    auto identifier = m_nextIdentifier++;
    auto task = std::make_shared<URLSessionTask>(URLSessionTask::ConstructionKey(), weak_from_this(), identifier,
        kind, std::move(request));
    m_records.emplace(identifier,
        TaskRecord { task, std::move(uploadFile), std::move(dataCompletion), std::move(downloadCompletion) });
    return task;
}

void URLSessionCore::resume(URLSessionTask::Identifier identifier)
{
    post([this, identifier] { startTransfer(identifier); });
}

void URLSessionCore::cancel(URLSessionTask::Identifier identifier)
{
    post([this, identifier] { cancelTransfer(identifier); });
}

void URLSessionCore::startTransfer(URLSessionTask::Identifier identifier)
{
    std::shared_ptr<URLSessionTask> task;
    std::filesystem::path uploadFile;
    bool invalidated = false;
    {
        std::lock_guard lock(m_mutex);
        auto found = m_records.find(identifier);
        if (found == m_records.end())
            return;
        task = found->second.task;
        uploadFile = found->second.uploadFile;
        invalidated = m_invalidated;
    }
    // A cancel already on its way delivers the completion.
    if (task->state() == URLSessionTaskState::canceling)
        return;
    if (invalidated) {
        if (auto record = takeRecord(identifier))
            deliver(std::move(*record), cancelledError(), {}, std::nullopt);
        return;
    }
    auto transfer = URLSessionTransfer::create(task, uploadFile, m_configuration, m_share, m_delegate.get());
    if (!transfer) {
        if (auto record = takeRecord(identifier))
            deliver(std::move(*record), transfer.error(), {}, std::nullopt);
        return;
    }
    curl_multi_add_handle(m_multi, (*transfer)->handle());
    m_transfers.emplace(identifier, std::move(*transfer));
}

void URLSessionCore::cancelTransfer(URLSessionTask::Identifier identifier)
{
    if (auto running = m_transfers.find(identifier); running != m_transfers.end()) {
        curl_multi_remove_handle(m_multi, running->second->handle());
        // Destroying the transfer removes a download's partial file.
        m_transfers.erase(running);
    }
    if (auto record = takeRecord(identifier))
        deliver(std::move(*record), cancelledError(), {}, std::nullopt);
}

void URLSessionCore::collectFinishedTransfers()
{
    int remaining = 0;
    while (CURLMsg* message = curl_multi_info_read(m_multi, &remaining)) {
        if (message->msg != CURLMSG_DONE)
            continue;
        URLSessionTransfer* finished = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &finished);
        CURLcode result = message->data.result;
        curl_multi_remove_handle(m_multi, finished->handle());
        // A redirect the task follows runs as a new transfer on the same handle.
        if (finished->followRedirect(result)) {
            curl_multi_add_handle(m_multi, finished->handle());
            continue;
        }
        auto running = m_transfers.find(finished->identifier());
        auto transfer = std::move(running->second);
        m_transfers.erase(running);
        auto outcome = transfer->finish(result);
        if (auto record = takeRecord(transfer->identifier()))
            deliver(std::move(*record), std::move(outcome.error), std::move(outcome.body), std::move(outcome.location));
    }
}

std::optional<URLSessionCore::TaskRecord> URLSessionCore::takeRecord(URLSessionTask::Identifier identifier)
{
    std::lock_guard lock(m_mutex);
    auto found = m_records.find(identifier);
    if (found == m_records.end())
        return std::nullopt;
    TaskRecord record = std::move(found->second);
    m_records.erase(found);
    return record;
}

void URLSessionCore::deliver(TaskRecord record, std::optional<TransportError> error, std::string body,
    std::optional<std::filesystem::path> location)
{
    URLSessionTask& task = *record.task;
    if (!task.markCompleted(error))
        return;
    if (error && error->code() != TransportError::Code::cancelled) {
        // The query is left out of the log: it may carry values that are nobody's business.
        const std::string& url = task.originalRequest().url;
        std::ostringstream line;
        line << "❗️ URLSession: " << task.originalRequest().method << ' ' << url.substr(0, url.find('?')) << " failed: "
             << TransportError::name(error->code()) << " (curl " << error->transportCode() << ": " << error->message() << ')';
        logNetwork(line.str());
    }
    auto response = task.response().value_or(HTTPResponseHead {});
    if (task.kind() == URLSessionTask::Kind::download) {
        if (error) {
            if (record.downloadCompletion)
                record.downloadCompletion(task, std::unexpected(*error));
        } else {
            if (m_delegate)
                m_delegate->didFinishDownloading(task, *location);
            if (record.downloadCompletion)
                record.downloadCompletion(task, DownloadTaskResponse { *location, std::move(response) });
            // The file is the completion's to move; whatever is left goes now.
            std::error_code ignored;
            std::filesystem::remove(*location, ignored);
        }
    } else if (record.dataCompletion) {
        if (error)
            record.dataCompletion(task, std::unexpected(*error));
        else
            record.dataCompletion(task, DataTaskResponse { std::move(body), std::move(response) });
    }
    if (m_delegate)
        m_delegate->didComplete(task, error);
}

std::vector<std::shared_ptr<URLSessionTask>> URLSessionCore::allTasks() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::shared_ptr<URLSessionTask>> tasks;
    for (const auto& [identifier, record] : m_records)
        tasks.push_back(record.task);
    return tasks;
}

void URLSessionCore::invalidateAndCancel()
{
    {
        std::lock_guard lock(m_mutex);
        m_invalidated = true;
    }
    for (auto& task : allTasks())
        task->cancel();
}

bool URLSessionCore::isInvalidated() const
{
    std::lock_guard lock(m_mutex);
    return m_invalidated;
}

std::vector<HTTPCookie> URLSessionCore::cookies()
{
    std::vector<HTTPCookie> result;
    runOnTransport([&] {
        curl_slist* list = nullptr;
        if (curl_easy_getinfo(m_cookieHandle, CURLINFO_COOKIELIST, &list) != CURLE_OK)
            return;
        for (curl_slist* item = list; item; item = item->next) {
            if (auto cookie = parseCookieLine(item->data))
                result.push_back(std::move(*cookie));
        }
        curl_slist_free_all(list);
    });
    return result;
}

void URLSessionCore::clearCookies()
{
    runOnTransport([&] { curl_easy_setopt(m_cookieHandle, CURLOPT_COOKIELIST, "ALL"); });
}

} // namespace Platform
