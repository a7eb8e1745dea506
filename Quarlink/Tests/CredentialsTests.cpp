// Credentials, their Basic authorisation, and the store's derived pair.

#include "Quarlink/Identity/Credentials.hpp"

#include <gtest/gtest.h>

#include <vector>

using namespace Quarlink;

namespace {

// Records the order of reads and writes, as the keychain-backed store would see them.
class RecordingStore final : public CredentialStore {
public:
    std::optional<std::string> storedEmail;
    std::optional<std::string> storedPassword;
    mutable std::vector<std::string> log;

    std::optional<std::string> email() const override { log.push_back("get email"); return storedEmail; }
    void setEmail(std::optional<std::string> email) override { log.push_back("set email"); storedEmail = std::move(email); }
    std::optional<std::string> password() const override { log.push_back("get password"); return storedPassword; }
    void setPassword(std::optional<std::string> password) override { log.push_back("set password"); storedPassword = std::move(password); }
};

} // namespace

TEST(Credentials, basicAuthorisationVectors)
{
    // The header value is "Basic " and the Base64 of "user:password", with colons and empty parts kept.
    EXPECT_EQ((Credentials { "Aladdin", "open sesame" }).authenticationHeaderValue(), "Basic QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
    EXPECT_EQ((Credentials { "abc", "" }).encodedCredentialString(), "YWJjOg==");
    EXPECT_EQ((Credentials { "abc", "" }).authenticationHeaderValue(), "Basic YWJjOg==");
    EXPECT_EQ((Credentials { "a:b", "c" }).encodedCredentialString(), "YTpiOmM=");
    EXPECT_EQ((Credentials { "jörg@example.test", "pässwort" }).encodedCredentialString(), "asO2cmdAZXhhbXBsZS50ZXN0OnDDpHNzd29ydA==");
}

TEST(Credentials, equalityIsCanonicalAndCaseSensitive)
{
    // Precomposed and decomposed accents are equal; letter case and blanks are not ignored.
    EXPECT_EQ((Credentials { "Jos\xC3\xA9", "p" }), (Credentials { "Jose\xCC\x81", "p" }));
    EXPECT_NE((Credentials { "user", "p" }), (Credentials { "User", "p" }));
    EXPECT_NE((Credentials { "user", "p" }), (Credentials { "user ", "p" }));
    EXPECT_NE((Credentials { "user", "p" }), (Credentials { "user", "P" }));
}

TEST(Credentials, storeYieldsThePairOnlyWhenBothArePresent)
{
    // Without an e-mail the password is not even read; without a password there is no pair; empty texts count.
    RecordingStore store;
    store.storedPassword = "secret";
    EXPECT_FALSE(store.credentials().has_value());
    EXPECT_EQ(store.log, std::vector<std::string> { "get email" });

    store.storedEmail = "a@b.de";
    store.storedPassword.reset();
    EXPECT_FALSE(store.credentials().has_value());

    store.storedEmail = "";
    store.storedPassword = "";
    EXPECT_EQ(store.credentials(), (Credentials { "", "" }));
}

TEST(Credentials, storeWritesEmailBeforePassword)
{
    // Setting a pair writes e-mail then password; setting nothing clears both in the same order.
    RecordingStore store;
    store.setCredentials(Credentials { "a@b.de", "pw" });
    EXPECT_EQ(store.storedEmail, "a@b.de");
    EXPECT_EQ(store.storedPassword, "pw");
    store.setCredentials(std::nullopt);
    EXPECT_FALSE(store.storedEmail.has_value());
    EXPECT_FALSE(store.storedPassword.has_value());
    EXPECT_EQ(store.log, (std::vector<std::string> { "set email", "set password", "set email", "set password" }));
}
