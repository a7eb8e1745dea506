// localcloud: serves a data folder over the cloud's REST API on loopback
// until interrupted, or adds a user to a data folder.

#include "LocalCloud/Secrets/PasswordHash.hpp"
#include "LocalCloud/Server/LocalCloudServer.hpp"
#include "LocalCloud/Storage/DataFolder.hpp"
#include "LocalCloud/Storage/ServiceDatabase.hpp"

#include <charconv>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string_view>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr const char* usage
    = "usage: localcloud <port> <data folder> [--session-lifetime <seconds>] [--request-log <file>]"
      " [--test-controls] [--rate <bytes per second>] [--cut-after <bytes>] [--expire-after <requests>]"
      " | localcloud add-user <data folder> <login> [--quota <bytes>]\n";

int badArguments(const std::string& line)
{
    std::cerr << "localcloud: " << line << '\n';
    return 2;
}

// One line of standard input; without echo when it is a terminal.
std::optional<std::string> readPassword()
{
    bool terminal = ::isatty(STDIN_FILENO) != 0;
    termios saved {};
    if (terminal) {
        std::cerr << "Password: " << std::flush;
        ::tcgetattr(STDIN_FILENO, &saved);
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
    }
    std::string password;
    bool read = static_cast<bool>(std::getline(std::cin, password));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::cerr << '\n';
    }
    if (!read && password.empty())
        return std::nullopt;
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return password;
}

std::optional<std::int64_t> byteCount(std::string_view text)
{
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

int addUser(int argc, char** argv)
{
    if (argc != 4 && argc != 6)
        return badArguments("add-user needs <data folder> <login> [--quota <bytes>]");
    std::filesystem::path folder = argv[2];
    std::string login = argv[3];
    if (login.empty())
        return badArguments("the login must not be empty");
    std::optional<std::int64_t> quota;
    if (argc == 6) {
        quota = byteCount(argv[5]);
        if (std::string_view(argv[4]) != "--quota" || !quota)
            return badArguments("--quota needs a number of bytes");
    }
    auto password = readPassword();
    if (!password || password->empty()) {
        std::cerr << "❗️ LocalCloud: no password given\n";
        return 1;
    }
    if (auto made = LocalCloud::makeDataFolderPrivate(folder); !made) {
        std::cerr << "❗️ LocalCloud: " << made.error() << '\n';
        return 1;
    }
    auto database = Platform::Database::open(LocalCloud::serviceDatabaseConfiguration(folder));
    if (!database) {
        std::cerr << "❗️ LocalCloud: " << database.error().message() << '\n';
        return 1;
    }
    auto stored = LocalCloud::storeAccount(*database, login, *password, quota,
        LocalCloud::PasswordHash::standardIterations);
    if (!stored) {
        std::cerr << "❗️ LocalCloud: " << stored.error().message() << '\n';
        return 1;
    }
    if (auto synced = LocalCloud::syncDataFolder(folder); !synced) {
        std::cerr << "❗️ LocalCloud: " << synced.error() << '\n';
        return 1;
    }
    std::cerr << "✅ LocalCloud: user " << login << " stored in " << folder.string() << '\n';
    return 0;
}

int serve(int argc, char** argv)
{
    LocalCloud::LocalCloudServer::Options options { .dataFolder = argv[2], .clock = LocalCloud::ServiceClock::system() };
    LocalCloud::TransferShaping shaping;
    for (int index = 3; index < argc; index += 2) {
        std::string_view option = argv[index];
        if (option == "--test-controls") {
            // The only option without a value.
            options.testControls = true;
            --index;
            continue;
        }
        if (index + 1 >= argc)
            return badArguments(std::string(option) + " needs a value");
        if (option == "--request-log") {
            options.requestLogFile = argv[index + 1];
            continue;
        }
        auto value = byteCount(argv[index + 1]);
        bool known = option == "--rate" || option == "--cut-after" || option == "--session-lifetime"
            || option == "--expire-after";
        if (!value || !known)
            return badArguments(std::string("unknown option or bad value: ") + std::string(option) + " " + argv[index + 1]);
        if (option == "--rate")
            shaping.bytesPerSecond = static_cast<std::size_t>(*value);
        else if (option == "--cut-after")
            shaping.cutAfterBytes = static_cast<std::size_t>(*value);
        else if (option == "--session-lifetime")
            options.sessions.lifetime = std::chrono::seconds(*value);
        else
            options.sessions.requestLimit = static_cast<std::size_t>(*value);
    }

    char* end = nullptr;
    long port = std::strtol(argv[1], &end, 10);
    if (*argv[1] == '\0' || *end != '\0' || port < 0 || port > 65535)
        return badArguments(std::string("invalid port ") + argv[1]);

    // Block the stop signals before any thread starts, so only sigwait sees them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    options.port = static_cast<int>(port);
    auto server = LocalCloud::LocalCloudServer::start(std::move(options));
    if (!server) {
        std::cerr << "❗️ LocalCloud: " << server.error() << '\n';
        return 1;
    }
    (*server)->setTransferShaping(shaping);
    std::cerr << "✅ LocalCloud serves " << argv[2] << " at " << (*server)->baseURL() << '\n';
    int received = 0;
    sigwait(&signals, &received);
    std::cerr << "LocalCloud stops\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    // Whatever the service writes (database, journals, contents) is the user's alone.
    ::umask(077);
    if (argc >= 2 && std::string_view(argv[1]) == "add-user")
        return addUser(argc, argv);
    if (argc < 3) {
        std::cerr << usage;
        return 2;
    }
    return serve(argc, argv);
}
