#include "Platform/Desktop/DistributedNotificationCenter.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/PollLoop.hpp"

#include <cerrno>
#include <cstring>
#include <deque>
#include <dirent.h>
#include <mutex>
#include <optional>
#include <fcntl.h>
#include <random>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace Platform {

namespace {

std::error_code lastError() { return std::error_code(errno, std::generic_category()); }

constexpr std::string_view socketSuffix = ".sock";

// The unix address of `name` in the folder: its full path when that fits,
// else the same file reached through the folder's open descriptor.
std::optional<sockaddr_un> socketAddress(const std::filesystem::path& folder, int folderDescriptor, const std::string& name)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    auto direct = (folder / name).string();
    auto viaDescriptor = "/proc/self/fd/" + std::to_string(folderDescriptor) + "/" + name;
    const std::string& path = direct.size() < sizeof(address.sun_path) ? direct : viaDescriptor;
    if (path.size() >= sizeof(address.sun_path))
        return std::nullopt;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

} // namespace

struct DistributedNotificationCenter::State {
    std::filesystem::path folder;
    int folderDescriptor = -1;
    int receiver = -1;
    int sender = -1;
    std::optional<PollLoop> loop;
    std::string socketName;
    // Posts to this centre itself skip the socket: the receiver thread may be
    // the poster (an observer that posts), and could not drain its own queue.
    int ownQueueSignal = -1;
    std::mutex ownQueueMutex;
    std::deque<std::string> ownQueue;
    NotificationCenter local;
    std::thread thread;

    ~State()
    {
        if (thread.joinable()) {
            loop->stop();
            thread.join();
        }
        if (!socketName.empty() && folderDescriptor >= 0)
            ::unlinkat(folderDescriptor, socketName.c_str(), 0);
        for (int descriptor : { receiver, sender, ownQueueSignal, folderDescriptor })
            if (descriptor >= 0)
                ::close(descriptor);
    }

    void receive()
    {
        std::vector<char> buffer(maximumMessageSize + 4096);
        const int descriptors[] = { receiver, ownQueueSignal };
        (void)loop->run(descriptors, {}, [&](const PollLoop::Wake& wake) {
            if (wake.signalled(1)) {
                std::uint64_t count = 0;
                [[maybe_unused]] auto read = ::read(ownQueueSignal, &count, sizeof count);
                std::deque<std::string> pending;
                {
                    std::lock_guard lock(ownQueueMutex);
                    pending.swap(ownQueue);
                }
                for (auto& text : pending)
                    deliver(text.data(), text.size());
            }
            if (wake.signalled(0)) {
                auto length = ::recv(receiver, buffer.data(), buffer.size(), MSG_DONTWAIT);
                if (length > 0)
                    deliver(buffer.data(), static_cast<std::size_t>(length));
            }
        });
    }

    void deliver(const char* text, std::size_t length)
    {
        auto message = nlohmann::json::parse(text, text + length, nullptr, false);
        if (message.is_discarded() || !message.is_object() || !message.contains("name") || !message["name"].is_string())
            return;
        Notification::UserInfo info;
        info.emplace("userInfo", message.value("userInfo", nlohmann::json()));
        local.post(message["name"].get<std::string>(), nullptr, std::move(info));
    }

    void postToSelf(std::string text)
    {
        {
            std::lock_guard lock(ownQueueMutex);
            ownQueue.push_back(std::move(text));
        }
        std::uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(ownQueueSignal, &one, sizeof one);
    }
};

DistributedNotificationCenter::DistributedNotificationCenter(std::shared_ptr<State> state)
    : m_state(std::move(state))
{
}

DistributedNotificationCenter::~DistributedNotificationCenter() = default;

std::expected<std::shared_ptr<DistributedNotificationCenter>, std::error_code> DistributedNotificationCenter::open(
    std::filesystem::path folder)
{
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) {
        std::filesystem::create_directories(folder, error);
        if (error)
            return std::unexpected(error);
        ::chmod(folder.c_str(), 0700);
    }
    auto state = std::make_shared<State>();
    state->folder = std::move(folder);
    state->folderDescriptor = ::open(state->folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (state->folderDescriptor < 0)
        return std::unexpected(lastError());

    std::random_device random;
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%08x%08x", random(), random());
    state->socketName = std::to_string(::getpid()) + "-" + suffix + std::string(socketSuffix);
    auto address = socketAddress(state->folder, state->folderDescriptor, state->socketName);
    if (!address)
        return std::unexpected(std::make_error_code(std::errc::filename_too_long));

    state->receiver = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    state->sender = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    state->ownQueueSignal = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state->receiver < 0 || state->sender < 0 || state->ownQueueSignal < 0)
        return std::unexpected(lastError());
    auto loop = PollLoop::create();
    if (!loop)
        return std::unexpected(loop.error());
    state->loop = std::move(*loop);
    if (::bind(state->receiver, reinterpret_cast<const sockaddr*>(&*address), sizeof(sockaddr_un)) != 0) {
        auto bindError = lastError();
        state->socketName.clear();
        return std::unexpected(bindError);
    }
    int bufferSize = static_cast<int>(maximumMessageSize * 8);
    ::setsockopt(state->receiver, SOL_SOCKET, SO_RCVBUF, &bufferSize, sizeof bufferSize);
    timeval sendTimeout { 1, 0 };
    ::setsockopt(state->sender, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);

    auto* raw = state.get();
    state->thread = std::thread([raw] { raw->receive(); });
    return std::shared_ptr<DistributedNotificationCenter>(new DistributedNotificationCenter(std::move(state)));
}

std::size_t DistributedNotificationCenter::post(const std::string& name, const nlohmann::json& userInfo)
{
    auto text = nlohmann::json { { "name", name }, { "userInfo", userInfo } }.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (text.size() > maximumMessageSize) {
        Log::failure("Die Mitteilung " + name + " ist zu groß für einen Versand zwischen Prozessen");
        return 0;
    }
    int listing = ::dup(m_state->folderDescriptor);
    DIR* directory = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!directory) {
        if (listing >= 0)
            ::close(listing);
        return 0;
    }
    ::rewinddir(directory);
    std::vector<std::string> names;
    while (auto* entry = ::readdir(directory)) {
        std::string_view entryName(entry->d_name);
        if (entryName.ends_with(socketSuffix))
            names.emplace_back(entryName);
    }
    ::closedir(directory);

    std::size_t delivered = 0;
    for (auto& socketName : names) {
        if (socketName == m_state->socketName) {
            m_state->postToSelf(text);
            ++delivered;
            continue;
        }
        auto address = socketAddress(m_state->folder, m_state->folderDescriptor, socketName);
        if (!address)
            continue;
        while (true) {
            auto sent = ::sendto(m_state->sender, text.data(), text.size(), MSG_NOSIGNAL,
                reinterpret_cast<const sockaddr*>(&*address), sizeof(sockaddr_un));
            if (sent >= 0) {
                ++delivered;
                break;
            }
            if (errno == EINTR)
                continue;
            if (errno == ECONNREFUSED)
                ::unlinkat(m_state->folderDescriptor, socketName.c_str(), 0); // its centre is gone
            else if (errno != ENOENT)
                Log::failure("Die Mitteilung " + name + " erreicht " + socketName + " nicht: " + lastError().message());
            break;
        }
    }
    return delivered;
}

NotificationCenter::Registration DistributedNotificationCenter::addObserver(std::string name, Observer observer)
{
    return m_state->local.addObserver(std::move(name), nullptr, [observer = std::move(observer)](const Notification& notification) {
        auto* info = notification.userInfoValue<nlohmann::json>("userInfo");
        observer(DistributedNotification { notification.name, info ? *info : nlohmann::json() });
    });
}

const std::filesystem::path& DistributedNotificationCenter::folder() const { return m_state->folder; }

} // namespace Platform
