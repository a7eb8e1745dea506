// Environments and the store through which the client finds the endpoint in force.

#include "Quarlink/Environment/APIEndpointStore.hpp"
#include "Quarlink/Environment/Environment.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

TEST(Environment, customBaseURLIsUsedExactly)
{
    // A custom environment answers exactly its URL, path included; no "/v2.0" is added.
    auto url = *Platform::URL::create("https://files.example.test:8443/api/custom?x=1");
    EXPECT_EQ(Environment::custom(url).baseURL(), url);
    EXPECT_EQ(Environment::custom(url).kind(), Environment::Kind::custom);
}

TEST(Environment, fixedEnvironmentsHaveVersionedBaseURLs)
{
    // The three fixed environments come from the build settings, which default to the local service under "/v2.0".
    for (const auto& environment : { Environment::test(), Environment::stage(), Environment::live() }) {
        auto url = environment.baseURL();
        EXPECT_TRUE(url.percentEncodedPath().ends_with("/v2.0")) << url.absoluteString();
        EXPECT_TRUE(url.host().has_value());
    }
    EXPECT_EQ(Environment::live().kind(), Environment::Kind::live);
}

TEST(Environment, storeAnswersTheEndpointAtEachRead)
{
    // Two reads of a store's environment give the endpoint in force at each read.
    InMemoryEnvironmentStore store(std::make_shared<Environment>(Environment::test()));
    const APIEnvironmentStore& environments = store;
    auto first = environments.environment()->baseURL();
    auto custom = *Platform::URL::create("http://127.0.0.1:9/v9");
    store.setCurrentEndpoint(std::make_shared<Environment>(Environment::custom(custom)));
    EXPECT_EQ(environments.environment()->baseURL(), custom);
    EXPECT_NE(first, custom);
}
