#include "Platform/Desktop/Keychain.hpp"

#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace Platform;

TEST(KeychainWithoutBusTests, WithoutASessionBusTheDefaultKeychainIsThePrivateFile)
{
    // No session bus at all (as in CI): the keychain of a service keeps its passwords in $XDG_DATA_HOME/<service>/keychain.json.
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address)
        GTEST_SKIP() << "a session bus is present; the Secret Service tests cover it";
    Testing::TemporaryDirectory data;
    ::setenv("XDG_DATA_HOME", data.path().c_str(), 1);
    auto keychain = Keychain::create({ .service = "de.orvella.tests" });
    EXPECT_FALSE(keychain->usesSecretService());
    EXPECT_EQ(keychain->fallbackFile(), std::filesystem::path(data / "de.orvella.tests/keychain.json"));
    ASSERT_TRUE(keychain->set("secret", "anna"));
    EXPECT_EQ(keychain->get("anna").value(), "secret");
}
