#include "Glimmerd/Tests/HostFixture.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <cstdlib>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace GlimmerdTesting;

namespace {

class GlimmerctlTests : public HostFixture {
protected:
    void SetUp() override
    {
        HostFixture::SetUp();
        listen();
    }

    ProgramResult glimmerctl(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), { "--socket", socketPath });
        return onClientThread([&] { return runProgram(GLIMMERCTL_PROGRAM, arguments); });
    }
};

} // namespace

// `observed` prints one folder per line; `badge` "<badge>\t<path>", "-" for none.
TEST_F(GlimmerctlTests, ObservedAndBadge)
{
    controller->setDirectoryURLs({ Platform::URL::fileURL("/c/one"), Platform::URL::fileURL("/c/two") });
    auto observed = glimmerctl({ "observed" });
    EXPECT_EQ(observed.exitStatus, 0);
    EXPECT_EQ(observed.output, "/c/one\n/c/two\n");

    extension->badges["/c/one/a.txt"] = "Error";
    auto badges = glimmerctl({ "badge", "/c/one/a.txt", "/c/one/b.txt" });
    EXPECT_EQ(badges.exitStatus, 0);
    EXPECT_EQ(badges.output, "Error\t/c/one/a.txt\n-\t/c/one/b.txt\n");
}

// `menu` prints the title line and one line per entry, exit 3 without a menu;
// `invoke` exits 4 for a disabled or missing entry and 0 after running one.
TEST_F(GlimmerctlTests, MenuAndInvokeExitStatus)
{
    auto none = glimmerctl({ "menu", "/c/a" });
    EXPECT_EQ(none.exitStatus, 3);
    EXPECT_EQ(none.output, "");
    EXPECT_EQ(glimmerctl({ "invoke", "0", "/c/a" }).exitStatus, 3);

    FinderSyncKit::Menu menu { "brisanto cloud", {} };
    menu.addItem({ "Link teilen", "sharePublicLink", "", "MenueBarIcon", true });
    menu.addItem({ "Ordner freigeben \u2026", "shareFolder", "", "MenueBarIcon", false });
    extension->menuToGive = menu;
    auto shown = glimmerctl({ "menu", "--kind", "toolbar", "/c/a" });
    EXPECT_EQ(shown.exitStatus, 0);
    EXPECT_EQ(shown.output, "title\tbrisanto cloud\n0\tenabled\tLink teilen\n1\tdisabled\tOrdner freigeben \u2026\n");
    EXPECT_EQ(extension->menuKinds.back(), FinderSyncKit::MenuKind::toolbarItemMenu);
    EXPECT_EQ(extension->targets.back(), "/c");

    EXPECT_EQ(glimmerctl({ "invoke", "1", "/c/a" }).exitStatus, 4);
    EXPECT_EQ(glimmerctl({ "invoke", "5", "/c/a" }).exitStatus, 4);
    EXPECT_EQ(glimmerctl({ "invoke", "0", "/c/a" }).exitStatus, 0);
    EXPECT_EQ(extension->performed, std::vector<std::string> { "sharePublicLink" });
    EXPECT_EQ(glimmerctl({ "menu", "--kind", "dock", "/c/a" }).exitStatus, 1);
}

// Without a listening glimmerd every command exits with 2; wrong use with 1.
TEST_F(GlimmerctlTests, UnreachableAndWrongUse)
{
    host.reset();
    EXPECT_EQ(glimmerctl({ "observed" }).exitStatus, 2);
    EXPECT_EQ(glimmerctl({ "badge", "/c/a" }).exitStatus, 2);
    EXPECT_EQ(glimmerctl({ "frobnicate" }).exitStatus, 1);
    EXPECT_EQ(glimmerctl({ "invoke", "x", "/c/a" }).exitStatus, 1);
}

namespace {

// A socket served by this process (root in CI), as another user's fake
// glimmerd would be; it keeps every byte any client sends it.
class ForeignSocket {
public:
    explicit ForeignSocket(const std::string& path)
    {
        m_listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address { };
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", path.c_str());
        EXPECT_EQ(bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        EXPECT_EQ(::listen(m_listener, 4), 0);
        chmod(path.c_str(), 0777);
        m_thread = std::thread([this] {
            while (!m_stopping) {
                pollfd ready { m_listener, POLLIN, 0 };
                if (poll(&ready, 1, 20) <= 0)
                    continue;
                int client = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (client < 0)
                    continue;
                char chunk[4096];
                for (ssize_t count = 0; (count = recv(client, chunk, sizeof(chunk), 0)) > 0;) {
                    std::lock_guard lock(m_mutex);
                    m_received.append(chunk, static_cast<std::size_t>(count));
                    if (m_received.find('\n') != std::string::npos)
                        break;
                }
                close(client);
            }
        });
    }
    ~ForeignSocket()
    {
        m_stopping = true;
        m_thread.join();
        close(m_listener);
    }
    std::string received()
    {
        std::lock_guard lock(m_mutex);
        return m_received;
    }

private:
    int m_listener = -1;
    std::atomic<bool> m_stopping = false;
    std::mutex m_mutex;
    std::string m_received;
    std::thread m_thread;
};

} // namespace

// glimmerctl, run as an unprivileged user, tells nobody else what it asks
// about: not a socket in a folder another user made or may write to, and not
// a socket another user serves even in the user's own folder.
TEST(GlimmerctlTrust, ForeignSocketsAreRefused)
{
    if (getuid() != 0)
        GTEST_SKIP() << "needs root to act as a second user";
    auto* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    char pattern[] = "/tmp/glimmerctl-trust-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string root = pattern;
    ASSERT_EQ(chmod(root.c_str(), 0711), 0);
    auto asNobody = [&](const std::string& socket) {
        return runProgram("/usr/bin/setpriv", { "--reuid=nobody", "--regid=nogroup", "--clear-groups",
            GLIMMERCTL_PROGRAM, "--socket", socket, "badge", "/home/victim/geheim.txt" });
    };

    // Made first by another user (root here), open to everyone.
    std::string planted = root + "/planted";
    ASSERT_EQ(mkdir(planted.c_str(), 0777), 0);
    ASSERT_EQ(chmod(planted.c_str(), 0777), 0);
    {
        ForeignSocket foreign(planted + "/glimmerd.sock");
        EXPECT_EQ(asNobody(planted + "/glimmerd.sock").exitStatus, 2);
        EXPECT_EQ(foreign.received(), "");
    }

    // The user's own folder, but the socket in it is served by another user.
    std::string own = root + "/own";
    ASSERT_EQ(mkdir(own.c_str(), 0700), 0);
    {
        ForeignSocket foreign(own + "/glimmerd.sock");
        ASSERT_EQ(chown(own.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        EXPECT_EQ(asNobody(own + "/glimmerd.sock").exitStatus, 2);
        EXPECT_EQ(foreign.received(), "");
    }
    std::filesystem::remove_all(root);
}
