#include "Orvella/Settings/CloudAPIEnvironmentStore.hpp"
#include "Orvella/Settings/EnvironmentNames.hpp"
#include "Orvella/Tests/SettingsFixture.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace Orvella;

TEST(EnvironmentNamesTests, EveryStoredNameResolvesToLive)
{
    // Only live is offered, so every name, exact or not, parses to live; the texts are the stored forms.
    EXPECT_EQ(description(Quarlink::Environment::test()), "Test");
    EXPECT_EQ(description(Quarlink::Environment::stage()), "Stage");
    EXPECT_EQ(description(Quarlink::Environment::live()), "Live");
    auto custom = Quarlink::Environment::custom(*Platform::URL::create("http://127.0.0.1:9/v2.0"));
    EXPECT_EQ(description(custom), "http://127.0.0.1:9/v2.0");
    for (const char* name : { "Test", "Test12", "Stage", "Live", "live", "", "http://127.0.0.1:9/v2.0", "\xFF" })
        EXPECT_EQ(environmentNamed(name).kind(), Quarlink::Environment::Kind::live) << name;
    ASSERT_EQ(availableEnvironments().size(), 1u);
    EXPECT_EQ(availableEnvironments()[0].kind(), Quarlink::Environment::Kind::live);
}

TEST_F(SettingsFixture, TheEnvironmentStoreReadsTheSettingAtEveryCall)
{
    // A change of the settings' environment reaches the next read; live takes the override when one is given.
    auto manager = makeManager();
    auto override = *Platform::URL::create("http://127.0.0.1:4711/v2.0");
    CloudAPIEnvironmentStore store(manager, override);
    EXPECT_EQ(store.currentEndpoint()->baseURL().absoluteString(), "http://127.0.0.1:4711/v2.0");
    manager->environment().set(Quarlink::Environment::stage());
    EXPECT_EQ(store.currentEndpoint()->baseURL().absoluteString(), Quarlink::Environment::stage().baseURL().absoluteString());
    CloudAPIEnvironmentStore plain(manager, std::nullopt);
    manager->environment().set(Quarlink::Environment::live());
    EXPECT_EQ(plain.currentEndpoint()->baseURL().absoluteString(), Quarlink::Environment::live().baseURL().absoluteString());
}

TEST_F(SettingsFixture, TheLiveOverrideComesFromTheProcessEnvironment)
{
    // ORVELLA_LIVE_BASE_URL, when set and absolute, is live's base URL; text that is no URL is ignored.
    ::setenv("ORVELLA_LIVE_BASE_URL", "http://127.0.0.1:5001/v2.0", 1);
    auto manager = makeManager();
    CloudAPIEnvironmentStore store(manager);
    EXPECT_EQ(store.currentEndpoint()->baseURL().absoluteString(), "http://127.0.0.1:5001/v2.0");
    ::setenv("ORVELLA_LIVE_BASE_URL", "not a url", 1);
    EXPECT_FALSE(CloudAPIEnvironmentStore::liveBaseURLFromEnvironment());
    ::unsetenv("ORVELLA_LIVE_BASE_URL");
    EXPECT_FALSE(CloudAPIEnvironmentStore::liveBaseURLFromEnvironment());
}
