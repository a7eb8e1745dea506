#include "Quarlink/Reports/ErrorReports.hpp"

#include "Quarlink/Reports/APIErrorReportRequest.hpp"
#include "Quarlink/Requests/Perform.hpp"
#include "Reactive/Schedulers/UIScheduler.hpp"

#include <any>

namespace Quarlink {

namespace {

// The client keeps the token of the reports' lifetime among its user infos, so
// the lifetime ends exactly when the client goes, without the client knowing.
constexpr const char* reportsLifetimeKey = "reportsLifetime";

struct ReportsLifetime {
    Reactive::Lifetime lifetime;
    std::shared_ptr<Reactive::Lifetime::Token> token;
};

Reactive::Lifetime clientLifetime(APIClient& client)
{
    auto stored = client.userInfo(reportsLifetimeKey);
    if (const auto* existing = std::any_cast<ReportsLifetime>(&stored))
        return existing->lifetime;
    auto [lifetime, token] = Reactive::Lifetime::make();
    client.setUserInfo(reportsLifetimeKey, ReportsLifetime { lifetime, std::make_shared<Reactive::Lifetime::Token>(std::move(token)) });
    return lifetime;
}

} // namespace

Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> report(const std::shared_ptr<APIClient>& client,
    const RequestErrorInfo& info, const ReportConfiguration& configuration)
{
    auto account = client->credentialStore()->email();
    return perform(APIErrorReportRequest(info, configuration, account), client);
}

Reactive::BindingTarget<RequestErrorInfo> reports(const std::shared_ptr<APIClient>& client,
    const ReportConfiguration& configuration, Reactive::SchedulerPtr scheduler)
{
    std::weak_ptr<APIClient> weakClient = client;
    auto send = [weakClient, configuration](const RequestErrorInfo& info) {
        if (auto strongClient = weakClient.lock())
            (void)report(strongClient, info, configuration).start();
    };
    return { clientLifetime(*client), std::move(send), scheduler ? std::move(scheduler) : Reactive::UIScheduler::make() };
}

} // namespace Quarlink
