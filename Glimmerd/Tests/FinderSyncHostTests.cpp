#include "Glimmerd/Control/GlimmerClient.hpp"
#include "Glimmerd/FinderSyncHost/FinderSyncHost.hpp"
#include "Glimmerd/FinderSyncHost/FinderSyncProtocol.hpp"
#include "Glimmerd/FinderSyncHost/GlimmerSocketPath.hpp"
#include "Glimmerd/Tests/HostFixture.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace GlimmerdTesting;
using Control::GlimmerClient;
using FinderSyncHost::FinderSyncHostOptions;
using nlohmann::json;

namespace {

class FinderSyncHostTests : public HostFixture {
protected:
    GlimmerClient connect()
    {
        auto client = GlimmerClient::connect(socketPath);
        EXPECT_TRUE(client);
        return std::move(*client);
    }

    // One request from a client thread while the host answers on this one.
    json ask(GlimmerClient& client, json request)
    {
        auto answer = onClientThread([&] { return client.request(request); });
        EXPECT_TRUE(answer) << (answer ? "" : answer.error().text);
        return answer ? *answer : json();
    }
};

} // namespace

// `hello` reports the protocol version, the observed folders and the
// registered badges; `observed` the folders alone; ids are echoed as sent.
TEST_F(FinderSyncHostTests, HelloAndObserved)
{
    controller->setBadgeImage("status-uptodate", "Idle", "Idle");
    controller->setDirectoryURLs({ Platform::URL::fileURL("/home/a/brisanto cloud", Platform::URL::IsDirectory::Yes) });
    listen();
    auto client = connect();
    auto hello = ask(client, { { "op", "hello" } });
    EXPECT_EQ(hello["ok"], true);
    EXPECT_EQ(hello["protocol"], FinderSyncHost::protocolVersion);
    EXPECT_EQ(hello["observed"], json::array({ "/home/a/brisanto cloud" }));
    EXPECT_EQ(hello["badges"], json::parse(R"([{"identifier":"Idle","image":"status-uptodate","label":"Idle"}])"));
    auto observed = ask(client, { { "op", "observed" } });
    EXPECT_EQ(observed["observed"], json::array({ "/home/a/brisanto cloud" }));

    auto echoed = onClientThread([&] {
        (void)client.sendRaw("{\"id\":\"x-7\",\"op\":\"observed\"}\n");
        return client.nextLine(std::chrono::seconds(10));
    });
    ASSERT_TRUE(echoed);
    EXPECT_EQ((*echoed)["id"], "x-7");
}

// `badge` answers what the extension set during the request, null when it set
// nothing (even if the item had a badge before); begin and end reach the extension.
TEST_F(FinderSyncHostTests, BadgeBeginAndEnd)
{
    extension->badges["/c/a.txt"] = "Syncing";
    controller->setBadgeIdentifier("Idle", Platform::URL::fileURL("/c/b.txt"));
    listen();
    auto client = connect();
    EXPECT_EQ(ask(client, { { "op", "badge" }, { "path", "/c/a.txt" } })["badge"], "Syncing");
    EXPECT_EQ(ask(client, { { "op", "badge" }, { "path", "/c/b.txt" } })["badge"], nullptr);
    EXPECT_EQ(extension->requested, (std::vector<std::string> { "/c/a.txt", "/c/b.txt" }));
    EXPECT_EQ(ask(client, { { "op", "begin" }, { "path", "/c/Docs" } })["ok"], true);
    EXPECT_EQ(ask(client, { { "op", "end" }, { "path", "/c/Docs" } })["ok"], true);
    EXPECT_EQ(extension->begun, std::vector<std::string> { "/c/Docs" });
    EXPECT_EQ(extension->ended, std::vector<std::string> { "/c/Docs" });
}

// `menu` sets the selection and target before asking the extension and
// answers its menu or null; `invoke` runs only an existing, enabled entry.
TEST_F(FinderSyncHostTests, MenuAndInvoke)
{
    listen();
    auto client = connect();
    auto request = json { { "op", "menu" }, { "kind", "container" }, { "selection", { "/c/a", "/c/b" } }, { "target", "/c" } };
    EXPECT_EQ(ask(client, request)["menu"], nullptr);
    EXPECT_EQ(extension->menuKinds.back(), FinderSyncKit::MenuKind::contextualMenuForContainer);
    EXPECT_EQ(extension->selections.back(), (std::vector<std::string> { "/c/a", "/c/b" }));
    EXPECT_EQ(extension->targets.back(), "/c");

    FinderSyncKit::Menu menu { "brisanto cloud", {} };
    menu.addItem({ "Link teilen \u2026", "sharePublicLink", "", "MenueBarIcon", true });
    menu.addItem({ "Ordner freigeben \u2026", "shareFolder", "", "MenueBarIcon", false });
    extension->menuToGive = menu;
    auto answer = ask(client, { { "op", "menu" }, { "selection", { "/c/a" } } });
    EXPECT_EQ(extension->menuKinds.back(), FinderSyncKit::MenuKind::contextualMenuForItems);
    EXPECT_EQ(answer["menu"]["title"], "brisanto cloud");
    EXPECT_EQ(answer["menu"]["items"][0],
        json::parse(R"({"title":"Link teilen …","action":"sharePublicLink","key":"","image":"MenueBarIcon","enabled":true})"));
    EXPECT_EQ(answer["menu"]["items"][1]["enabled"], false);

    EXPECT_EQ(ask(client, { { "op", "invoke" }, { "selection", { "/c/a" } }, { "index", 0 } })["ok"], true);
    EXPECT_EQ(ask(client, { { "op", "invoke" }, { "selection", { "/c/a" } }, { "index", 1 } })["code"], "disabled");
    EXPECT_EQ(ask(client, { { "op", "invoke" }, { "selection", { "/c/a" } }, { "index", 2 } })["code"], "noEntry");
    EXPECT_EQ(extension->performed, std::vector<std::string> { "sharePublicLink" });
    extension->menuToGive.reset();
    EXPECT_EQ(ask(client, { { "op", "invoke" }, { "selection", { "/c/a" } }, { "index", 0 } })["code"], "noMenu");
    EXPECT_EQ(extension->performed.size(), 1u);
}

// Malformed JSON, an unknown op, bad paths and missing fields each get an
// error answer, and the connection keeps serving; nothing reaches the extension.
TEST_F(FinderSyncHostTests, ErrorsKeepTheConnection)
{
    listen();
    auto client = connect();
    auto raw = [&](std::string line) {
        auto answer = onClientThread([&] {
            (void)client.sendRaw(line);
            return client.nextLine(std::chrono::seconds(10));
        });
        EXPECT_TRUE(answer);
        return answer ? *answer : json();
    };
    EXPECT_EQ(raw("{not json\n")["code"], "malformed");
    EXPECT_EQ(raw("[1,2]\n")["code"], "malformed");
    EXPECT_EQ(raw("{\"op\":\"badge\",\"path\":\"/c/\xff\"}\n")["ok"], false);
    // A surrogate is no character: encoded in UTF-8 bytes or escaped alone, the path is refused.
    for (const std::string surrogate : { "\xED\xA0\x80", "\xED\xBF\xBF", "\\ud800", "\\udfff" }) {
        auto answer = raw("{\"op\":\"badge\",\"path\":\"/c/a" + surrogate + "\"}\n");
        EXPECT_EQ(answer["ok"], false) << surrogate;
        EXPECT_FALSE(answer["code"].get<std::string>().empty()) << surrogate;
    }
    auto unknown = ask(client, { { "op", "format" } });
    EXPECT_EQ(unknown["code"], "unknownOp");
    EXPECT_FALSE(unknown["error"].get<std::string>().empty());
    EXPECT_EQ(ask(client, { { "op", "badge" }, { "path", "c/a" } })["code"], "invalidPath");
    EXPECT_EQ(ask(client, { { "op", "badge" }, { "path", std::string("/c/a\0b", 6) } })["code"], "invalidPath");
    EXPECT_EQ(ask(client, { { "op", "badge" } })["code"], "invalidArgument");
    EXPECT_EQ(ask(client, { { "op", "menu" }, { "selection", { "/c/a", 7 } } })["code"], "invalidPath");
    EXPECT_EQ(ask(client, { { "op", "menu" }, { "kind", "dock" }, { "selection", json::array() } })["code"], "invalidArgument");
    EXPECT_EQ(ask(client, { { "op", "invoke" }, { "selection", { "/c/a" } }, { "index", -1 } })["code"], "invalidArgument");
    EXPECT_TRUE(extension->requested.empty());
    EXPECT_TRUE(extension->menuKinds.empty());
    EXPECT_EQ(ask(client, { { "op", "observed" } })["ok"], true);
}

// A line of exactly the limit is answered; one byte more closes the connection
// without an answer, while other clients go on being served.
TEST_F(FinderSyncHostTests, LineLimitClosesItsConnection)
{
    listen();
    auto client = connect();
    std::string prefix = "{\"op\":\"observed\",\"pad\":\"";
    std::string suffix = "\"}";
    std::string exact = prefix + std::string(FinderSyncHost::maximumLineLength - prefix.size() - suffix.size(), 'x') + suffix;
    auto answered = onClientThread([&] {
        (void)client.sendRaw(exact + "\n");
        return client.nextLine(std::chrono::seconds(20));
    });
    ASSERT_TRUE(answered);
    EXPECT_EQ((*answered)["ok"], true);

    auto other = connect();
    auto cut = onClientThread([&] {
        (void)client.sendRaw(std::string(FinderSyncHost::maximumLineLength + 1, 'x'));
        return client.nextLine(std::chrono::seconds(20));
    });
    ASSERT_FALSE(cut);
    EXPECT_EQ(cut.error().kind, Control::ClientError::Kind::unreachable);
    EXPECT_EQ(ask(other, { { "op", "observed" } })["ok"], true);
    EXPECT_TRUE(spinUntil([&] { return host->connectionCount() == 1; }));

    // A well-formed request one byte over the limit, newline included in the same write, is not answered either.
    auto longer = connect();
    std::string over = prefix + std::string(FinderSyncHost::maximumLineLength + 1 - prefix.size() - suffix.size(), 'x') + suffix;
    ASSERT_EQ(over.size(), FinderSyncHost::maximumLineLength + 1);
    auto refused = onClientThread([&] {
        (void)longer.sendRaw(over + "\n");
        return longer.nextLine(std::chrono::seconds(20));
    });
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, Control::ClientError::Kind::unreachable);
    EXPECT_TRUE(spinUntil([&] { return host->connectionCount() == 1; }));
}

// A request nested deeper than the bound is refused before it is parsed, so a
// long line of nested ids cannot exhaust the host's stack; the bound itself is served.
TEST_F(FinderSyncHostTests, DeepNestingIsRefused)
{
    listen();
    auto client = connect();
    auto nested = [](std::size_t depth) {
        return "{\"op\":\"observed\",\"id\":" + std::string(depth - 1, '[') + std::string(depth - 1, ']') + "}\n";
    };
    auto lineFor = [&](const std::string& line) {
        return onClientThread([&] {
            (void)client.sendRaw(line);
            return client.nextLine(std::chrono::seconds(20));
        });
    };
    auto deepest = lineFor(nested(FinderSyncHost::maximumNesting));
    ASSERT_TRUE(deepest);
    EXPECT_EQ((*deepest)["ok"], true);
    auto deeper = lineFor(nested(FinderSyncHost::maximumNesting + 1));
    ASSERT_TRUE(deeper);
    EXPECT_EQ((*deeper)["code"], "malformed");
    auto bomb = lineFor(nested(100000));
    ASSERT_TRUE(bomb);
    EXPECT_EQ((*bomb)["code"], "malformed");
    EXPECT_EQ(lineFor("{\"op\":\"observed\",\"pad\":\"[[[[{{{{\\\"\"}\n").value()["ok"], true) << "brackets in strings do not count";
}

// Connections beyond the limit are closed unanswered; connections that sent
// nothing for the idle time are closed, subscribers stay.
TEST_F(FinderSyncHostTests, ConnectionLimitAndIdleConnections)
{
    FinderSyncHostOptions options;
    options.maximumConnections = 3;
    options.idleTimeout = std::chrono::seconds(2);
    listen(options);
    auto subscriber = connect();
    EXPECT_EQ(ask(subscriber, { { "op", "subscribe" } })["ok"], true);
    auto second = connect();
    auto third = connect();
    EXPECT_TRUE(spinUntil([&] { return host->connectionCount() == 3; }));
    auto fourth = connect();
    auto refused = onClientThread([&] { return fourth.request({ { "op", "observed" } }, std::chrono::seconds(10)); });
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, Control::ClientError::Kind::unreachable);

    EXPECT_TRUE(spinUntil([&] { return host->connectionCount() == 1; }));
    auto afterwards = connect();
    EXPECT_EQ(ask(afterwards, { { "op", "observed" } })["ok"], true);
    EXPECT_EQ(ask(subscriber, { { "op", "observed" } })["ok"], true);
}

// A process of another user is not served: its connection closes unanswered.
TEST_F(FinderSyncHostTests, OtherUsersAreRefused)
{
    FinderSyncHostOptions options;
    options.allowedUser = getuid() + 1;
    listen(options);
    auto client = connect();
    auto answer = onClientThread([&] { return client.request({ { "op", "hello" } }, std::chrono::seconds(10)); });
    ASSERT_FALSE(answer);
    EXPECT_EQ(answer.error().kind, Control::ClientError::Kind::unreachable);
    EXPECT_EQ(host->connectionCount(), 0u);
}

// After `subscribe`, badge changes (not repeats) and directory changes are
// pushed to that client only; a client that leaves is dropped.
TEST_F(FinderSyncHostTests, SubscribersGetEvents)
{
    listen();
    auto subscriber = connect();
    auto bystander = connect();
    EXPECT_EQ(ask(subscriber, { { "op", "subscribe" } })["ok"], true);
    EXPECT_EQ(ask(bystander, { { "op", "observed" } })["ok"], true);

    auto file = Platform::URL::fileURL("/c/a");
    controller->setBadgeIdentifier("Syncing", file);
    controller->setBadgeIdentifier("Syncing", file);
    controller->setBadgeIdentifier("Idle", file);
    controller->setDirectoryURLs({ Platform::URL::fileURL("/c", Platform::URL::IsDirectory::Yes) });
    auto events = onClientThread([&] {
        std::vector<json> lines;
        for (int count = 0; count < 3; ++count) {
            auto line = subscriber.nextLine(std::chrono::seconds(10));
            if (!line)
                break;
            lines.push_back(*line);
        }
        return lines;
    });
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0], json::parse(R"({"event":"badge","path":"/c/a","badge":"Syncing"})"));
    EXPECT_EQ(events[1]["badge"], "Idle");
    EXPECT_EQ(events[2], json::parse(R"({"event":"observed","observed":["/c"]})"));

    auto quiet = onClientThread([&] { return bystander.nextLine(std::chrono::milliseconds(200)); });
    ASSERT_FALSE(quiet);
    EXPECT_EQ(quiet.error().kind, Control::ClientError::Kind::timedOut);

    { auto leaving = std::move(subscriber); }
    EXPECT_TRUE(spinUntil([&] { return host->connectionCount() == 1; }));
}

// A subscriber that stops reading is cut off once its unsent events pass the limit.
TEST_F(FinderSyncHostTests, SubscriberThatStopsReadingIsCutOff)
{
    FinderSyncHostOptions options;
    options.maximumPendingBytes = 64 * 1024;
    listen(options);
    auto subscriber = connect();
    EXPECT_EQ(ask(subscriber, { { "op", "subscribe" } })["ok"], true);
    for (int count = 0; count < 200000 && host->connectionCount() > 0; ++count) {
        controller->setBadgeIdentifier(count % 2 ? "Idle" : "Syncing", Platform::URL::fileURL("/c/" + std::string(200, 'n')));
        if (count % 1000 == 0)
            spinUntil([] { return true; });
    }
    EXPECT_TRUE(spinUntil([&] { return host->connectionCount() == 0; }));
}

// The cut comes once the unsent events pass the limit, not before and not long after: the events sent until
// then add up to at least the limit and to less than a quarter more (what the socket itself holds is small
// beside a limit of 4 MiB).
TEST_F(FinderSyncHostTests, SubscriberIsCutOffNearItsLimit)
{
    FinderSyncHostOptions options;
    options.maximumPendingBytes = 4 * 1024 * 1024;
    listen(options);
    auto subscriber = connect();
    EXPECT_EQ(ask(subscriber, { { "op", "subscribe" } })["ok"], true);
    const auto path = Platform::URL::fileURL("/c/" + std::string(200, 'n'));
    std::size_t sent = 0;
    for (; sent < 200000 && host->connectionCount() > 0; ++sent) {
        controller->setBadgeIdentifier(sent % 2 ? "Idle" : "Syncing", path);
        if (sent % 100 == 0)
            spinUntil([] { return true; });
    }
    ASSERT_TRUE(spinUntil([&] { return host->connectionCount() == 0; }));
    // Each event line holds the 203-byte path and at most 60 bytes more.
    EXPECT_GE(sent * 263, options.maximumPendingBytes);
    EXPECT_LE(sent * 203, options.maximumPendingBytes * 5 / 4);
}

// The socket lives below $XDG_RUNTIME_DIR, else below the user's home, never
// in a folder of /tmp another user can make first; its directory is made
// 0700, narrowed when the user's own, refused as a link.
TEST_F(FinderSyncHostTests, SocketPathAndDirectory)
{
    auto* saved = std::getenv("XDG_RUNTIME_DIR");
    std::string savedValue = saved ? saved : "";
    auto* savedHome = std::getenv("HOME");
    std::string savedHomeValue = savedHome ? savedHome : "";
    setenv("XDG_RUNTIME_DIR", "/run/user/77", 1);
    EXPECT_EQ(FinderSyncHost::glimmerSocketPath(), "/run/user/77/orvella/glimmerd.sock");
    setenv("HOME", "/home/anna", 1);
    setenv("XDG_RUNTIME_DIR", "relative", 1);
    EXPECT_EQ(FinderSyncHost::glimmerSocketPath(), "/home/anna/.cache/orvella/glimmerd.sock");
    unsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(FinderSyncHost::glimmerSocketPath(), "/home/anna/.cache/orvella/glimmerd.sock");
    unsetenv("HOME");
    EXPECT_FALSE(FinderSyncHost::glimmerSocketPath().string().starts_with("/tmp/")) << FinderSyncHost::glimmerSocketPath();
    if (saved)
        setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
    if (savedHome)
        setenv("HOME", savedHomeValue.c_str(), 1);

    struct stat status { };
    ASSERT_TRUE(FinderSyncHost::prepareSocketDirectory(directory / "new/glimmerd.sock"));
    ASSERT_EQ(stat((directory / "new").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    ASSERT_EQ(chmod((directory / "new").c_str(), 0755), 0);
    ASSERT_TRUE(FinderSyncHost::prepareSocketDirectory(directory / "new/glimmerd.sock"));
    ASSERT_EQ(stat((directory / "new").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0700u);
    ASSERT_EQ(symlink((directory / "new").c_str(), (directory / "link").c_str()), 0);
    EXPECT_FALSE(FinderSyncHost::prepareSocketDirectory(directory / "link/glimmerd.sock"));
    Platform::Testing::writeFile(directory / "file", "x");
    EXPECT_FALSE(FinderSyncHost::prepareSocketDirectory(directory / "file/glimmerd.sock"));

    // What a client checks before it connects: its own folder, which neither the group nor others may write to.
    for (auto [mode, trusted] : { std::pair { 0700u, true }, { 0755u, true }, { 0770u, false }, { 0720u, false }, { 0702u, false } }) {
        ASSERT_EQ(chmod((directory / "new").c_str(), mode), 0);
        auto checked = FinderSyncHost::checkSocketDirectory(directory / "new/glimmerd.sock");
        EXPECT_EQ(checked.has_value(), trusted) << std::oct << mode;
        if (!checked)
            EXPECT_EQ(checked.error(), "Andere Benutzer d\u00fcrfen in den Ordner " + (directory / "new") + " schreiben.");
    }
}
