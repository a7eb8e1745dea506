#include "Platform/Desktop/Keychain.hpp"

#include "Platform/Desktop/Tests/PrivateSessionBus.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/Log.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

using namespace Platform;
using Platform::Testing::TemporaryDirectory;

namespace {

// A Secret Service of the test's own: a private session bus with
// gnome-keyring-daemon on it, its keyrings in a temporary HOME, unlocked with
// a password given on stdin. libsecret finds it through the session bus
// address, set for the whole test process.
class SecretServiceEnvironment {
public:
    static SecretServiceEnvironment& shared()
    {
        if (!s_shared)
            s_shared = new SecretServiceEnvironment();
        return *s_shared;
    }
    // Ends the daemons when the test program ends.
    static void end()
    {
        delete s_shared;
        s_shared = nullptr;
    }
    ~SecretServiceEnvironment()
    {
        Testing::endProcess(m_daemon);
        m_bus.reset();
    }

    bool isRunning() const { return m_running; }
    const std::string& home() const { return m_home.path(); }

private:
    SecretServiceEnvironment()
    {
        m_bus = Testing::PrivateSessionBus::start();
        if (!m_bus)
            return;
        ::setenv("DBUS_SESSION_BUS_ADDRESS", m_bus->address().c_str(), 1);
        auto runtime = m_home / "run";
        ::mkdir(runtime.c_str(), 0700);
        m_daemon = Testing::spawnProcess({ "gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets" },
            { { "DBUS_SESSION_BUS_ADDRESS", m_bus->address() }, { "HOME", m_home.path() }, { "XDG_DATA_HOME", m_home / "data" },
                { "XDG_RUNTIME_DIR", runtime }, { "DISPLAY", "" } },
            std::string("test-keyring-password"));
        m_running = m_daemon > 0 && m_bus->waitForName("org.freedesktop.secrets", std::chrono::seconds(20));
    }

    static inline SecretServiceEnvironment* s_shared = nullptr;
    TemporaryDirectory m_home;
    std::unique_ptr<Testing::PrivateSessionBus> m_bus;
    pid_t m_daemon = -1;
    bool m_running = false;
};

struct EndSecretService : ::testing::Environment {
    void TearDown() override { SecretServiceEnvironment::end(); }
};
[[maybe_unused]] auto* const endSecretService = ::testing::AddGlobalTestEnvironment(new EndSecretService);

} // namespace

TEST(KeychainTests, StoresLoadsAndRemovesPasswordsInTheSecretService)
{
    // Against a real Secret Service: an item per user name under the service, replaced by a second set, gone after remove, no fallback file written.
    auto& environment = SecretServiceEnvironment::shared();
    ASSERT_TRUE(environment.isRunning()) << "gnome-keyring-daemon did not start on the private bus";
    TemporaryDirectory fallback;
    LogCapture log;
    auto keychain = Keychain::create({ .service = "de.orvella.tests", .fallbackFolder = fallback.path() });
    ASSERT_TRUE(keychain->usesSecretService());
    EXPECT_EQ(keychain->get("anna@example.org").value(), std::nullopt);
    ASSERT_TRUE(keychain->set("geheim & \"quoted\"", "anna@example.org"));
    ASSERT_TRUE(keychain->set("other", "bert@example.org"));
    EXPECT_EQ(keychain->get("anna@example.org").value(), "geheim & \"quoted\"");
    ASSERT_TRUE(keychain->set("neu", "anna@example.org"));
    EXPECT_EQ(keychain->get("anna@example.org").value(), "neu");

    // Another keychain object (as after a restart) sees the same items; another service does not.
    auto restarted = Keychain::create({ .service = "de.orvella.tests", .fallbackFolder = fallback.path() });
    EXPECT_EQ(restarted->get("bert@example.org").value(), "other");
    auto otherService = Keychain::create({ .service = "de.orvella.elsewhere", .fallbackFolder = fallback.path() });
    EXPECT_EQ(otherService->get("bert@example.org").value(), std::nullopt);

    ASSERT_TRUE(keychain->remove("anna@example.org"));
    EXPECT_EQ(keychain->get("anna@example.org").value(), std::nullopt);
    EXPECT_TRUE(keychain->remove("nobody@example.org"));
    EXPECT_EQ(keychain->get("bert@example.org").value(), "other");
    EXPECT_FALSE(std::filesystem::exists(keychain->fallbackFile()));
    for (auto& line : log.lines()) {
        EXPECT_EQ(line.find("geheim"), std::string::npos) << line;
        EXPECT_EQ(line.find("neu"), std::string::npos) << line;
    }
}

TEST(KeychainTests, WithoutASecretServiceThePasswordsGoToAPrivateFile)
{
    // No bus answers: the passwords live in a 0600 file in a 0700 folder, survive a new keychain object and are removed by key; no log line has a password.
    TemporaryDirectory data;
    auto folder = std::filesystem::path(data / "de.orvella.tests");
    LogCapture log;
    auto keychain = Keychain::create({ .service = "de.orvella.tests",
        .fallbackFolder = folder,
        .secretServiceTimeout = std::chrono::milliseconds(200),
        .busAddress = "unix:path=" + data / "no-bus-here" });
    ASSERT_FALSE(keychain->usesSecretService());
    ASSERT_TRUE(keychain->set("pa55 wort", "anna"));
    ASSERT_TRUE(keychain->set("zweites", "bert"));
    struct stat status {};
    ASSERT_EQ(::stat(keychain->fallbackFile().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(folder.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);

    auto again = Keychain::create({ .service = "de.orvella.tests", .fallbackFolder = folder, .busAddress = "unix:path=" + data / "no-bus-here" });
    EXPECT_EQ(again->get("anna").value(), "pa55 wort");
    ASSERT_TRUE(again->remove("anna"));
    EXPECT_EQ(keychain->get("anna").value(), std::nullopt);
    EXPECT_EQ(keychain->get("bert").value(), "zweites");
    for (auto& line : log.lines())
        EXPECT_EQ(line.find("pa55"), std::string::npos) << line;
}

TEST(KeychainTests, ADamagedFallbackFileIsAnErrorNotAnEmptyKeychain)
{
    // A fallback file that is no JSON object makes reads and writes fail, and a write does not replace it.
    TemporaryDirectory data;
    auto keychain = Keychain::create({ .service = "de.orvella.tests", .fallbackFolder = data.path(), .busAddress = "unix:path=" + data / "none" });
    Platform::Testing::writeFile(keychain->fallbackFile(), "not json");
    EXPECT_FALSE(keychain->get("anna").has_value());
    EXPECT_FALSE(keychain->set("x", "anna").has_value());
    EXPECT_EQ(Platform::Testing::readFile(keychain->fallbackFile()), "not json");
}

TEST(KeychainTests, AFallbackFolderAnotherUserCouldHaveMadeIsRefused)
{
    // A fallback folder of another owner, one open to every user's writes and a link to the user's own folder are
    // neither written nor read: no password lands there and the refusal is logged.
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to give a folder to another user";
    TemporaryDirectory data;
    auto own = std::filesystem::path(data / "own");
    std::filesystem::create_directories(own);
    ::chmod(own.c_str(), 0700);
    auto foreign = std::filesystem::path(data / "foreign");
    std::filesystem::create_directories(foreign);
    ::chmod(foreign.c_str(), 0777);
    ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
    auto linked = std::filesystem::path(data / "linked");
    std::filesystem::create_directory_symlink(own, linked);
    for (const auto& folder : { foreign, linked }) {
        LogCapture log;
        auto keychain = Keychain::create({ .service = "de.orvella.tests", .fallbackFolder = folder,
            .secretServiceTimeout = std::chrono::milliseconds(200), .busAddress = "unix:path=" + data / "no-bus-here" });
        ASSERT_FALSE(keychain->usesSecretService());
        EXPECT_FALSE(keychain->set("pa55 wort", "anna").has_value()) << folder;
        EXPECT_FALSE(keychain->get("anna").has_value()) << folder;
        EXPECT_TRUE(log.contains("wird nicht benutzt")) << folder;
        EXPECT_TRUE(std::filesystem::is_empty(folder)) << folder;
    }
}
