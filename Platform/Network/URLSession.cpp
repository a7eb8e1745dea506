#include "Platform/Network/URLSession.hpp"

#include "Platform/Network/URLSessionCore.hpp"

namespace Platform {

std::shared_ptr<URLSession> URLSession::create(URLSessionConfiguration configuration,
    std::shared_ptr<URLSessionDelegate> delegate)
{
    auto core = std::make_shared<URLSessionCore>(std::move(configuration), std::move(delegate));
    if (!core->start())
        return nullptr;
    return std::shared_ptr<URLSession>(new URLSession(std::move(core)));
}

URLSession::URLSession(std::shared_ptr<URLSessionCore> core)
    : m_core(std::move(core))
{
}

URLSession::~URLSession()
{
    m_core->shutdown();
}

const URLSessionConfiguration& URLSession::configuration() const
{
    return m_core->configuration();
}

std::shared_ptr<URLSessionTask> URLSession::dataTask(URLRequest request, DataCompletion completion)
{
    return m_core->makeTask(URLSessionTask::Kind::data, std::move(request), {}, std::move(completion), nullptr);
}

std::shared_ptr<URLSessionTask> URLSession::uploadTask(URLRequest request, std::filesystem::path file,
    DataCompletion completion)
{
    return m_core->makeTask(URLSessionTask::Kind::upload, std::move(request), std::move(file), std::move(completion),
        nullptr);
}

std::shared_ptr<URLSessionTask> URLSession::downloadTask(URLRequest request, DownloadCompletion completion)
{
    return m_core->makeTask(URLSessionTask::Kind::download, std::move(request), {}, nullptr, std::move(completion));
}

std::vector<std::shared_ptr<URLSessionTask>> URLSession::allTasks() const
{
    return m_core->allTasks();
}

void URLSession::invalidateAndCancel()
{
    m_core->invalidateAndCancel();
}

bool URLSession::isInvalidated() const
{
    return m_core->isInvalidated();
}

std::vector<HTTPCookie> URLSession::cookies() const
{
    return m_core->cookies();
}

void URLSession::clearCookies()
{
    m_core->clearCookies();
}

} // namespace Platform
