// Notifications as streams: the quota announcement and failed-request records, per client.

#include "Quarlink/Envelope/QuotaAnnouncement.hpp"
#include "Quarlink/Envelope/RequestFailureNotification.hpp"
#include "Quarlink/Errors/RemoteError.hpp"
#include "Quarlink/Notifications/NotificationSignals.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

TEST(NotificationSignalsTests, ProducerObservesFromStartUntilDisposed)
{
    // Each start sees only postings made while it runs, and its observer is removed when it is disposed.
    Platform::NotificationCenter center;
    int sender = 0;
    std::vector<std::string> seen;
    center.post("Name", &sender);
    auto started = notifications(center, "Name", &sender).startWithValues([&](const Platform::Notification& notification) { seen.push_back(notification.name); });
    center.post("Name", &sender);
    center.post("Name", nullptr);
    EXPECT_EQ(center.observerCount("Name"), 1u);
    started.dispose();
    center.post("Name", &sender);
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_EQ(center.observerCount("Name"), 0u);
}

TEST(NotificationSignalsTests, SignalLastsForItsLifetime)
{
    // The hot signal delivers until its lifetime ends, then completes and removes its observer.
    Platform::NotificationCenter center;
    auto [lifetime, token] = Reactive::Lifetime::make();
    auto signal = notificationSignal(center, "Name", nullptr, lifetime);
    int values = 0;
    bool completed = false;
    signal.observeValues([&](const Platform::Notification&) { ++values; });
    signal.observeCompleted([&] { completed = true; });
    center.post("Name", nullptr);
    token.end();
    center.post("Name", nullptr);
    EXPECT_EQ(values, 1);
    EXPECT_TRUE(completed);
    EXPECT_EQ(center.observerCount("Name"), 0u);
}

TEST(NotificationSignalsTests, QuotaAnnouncementsStayWithTheirClient)
{
    // One value per announcement of this client; another client's and ill-typed postings give nothing.
    int client = 0;
    int other = 0;
    std::vector<Quota> seen;
    auto started = receivedQuota(&client).startWithValues([&](const Quota& quota) { seen.push_back(quota); });
    announceQuota(&client, Quota { 10, 100 });
    announceQuota(&other, Quota { 1, 2 });
    Platform::NotificationCenter::defaultCenter().post(std::string(quotaNotificationName), &client, { { "quota", std::string("x") } });
    Platform::NotificationCenter::defaultCenter().post(std::string(quotaNotificationName), &client);
    announceQuota(&client, Quota { 20, 100 });
    started.dispose();
    EXPECT_EQ(seen, (std::vector<Quota> { { 10, 100 }, { 20, 100 } }));
}

TEST(NotificationSignalsTests, FailureRecordsArePostedOnlyForReportedKinds)
{
    // A reported failure reaches its client's stream with the record; an unreported one posts nothing.
    int client = 0;
    std::vector<RequestErrorInfo> seen;
    auto started = errorInfos(&client).startWithValues([&](const RequestErrorInfo& info) { seen.push_back(info); });
    auto response = HTTPURLResponse(*Platform::URL::create("http://127.0.0.1/x"), 500, {});
    postRequestFailure(&client, std::nullopt, Reactive::AnyError(RemoteError::requestFailed(7, "m", response, {})));
    postRequestFailure(&client, std::nullopt, Reactive::AnyError(RemoteError(RemoteError::Case::fileNotFound)));
    started.dispose();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].errorCode, 7);
}
