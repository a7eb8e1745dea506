#include "LocalCloud/Tests/FileServiceTestSupport.hpp"

#include "LocalCloud/TestSupport/LocalCloudProcess.hpp"
#include "Platform/FileSystem/TestSupport/PowerCutMount.hpp"

#include <fstream>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace LocalCloud;
using namespace LocalCloud::Testing;
using Platform::Testing::PowerCutMount;

namespace {

std::int64_t idOf(const nlohmann::json& file)
{
    return file.value("id", std::int64_t { -1 });
}

std::string contentOfSize(std::size_t size, char first)
{
    std::string content(size, '\0');
    for (std::size_t index = 0; index < size; ++index)
        content[index] = static_cast<char>(first + index % 23);
    return content;
}

// A private folder below the temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::random_device random;
        m_path = std::filesystem::temp_directory_path()
            / ("localcloud-durability-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(m_path);
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// The service in this process over a data folder, restarted at will.
class Service {
public:
    explicit Service(std::filesystem::path dataFolder)
        : m_dataFolder(std::move(dataFolder))
    {
    }

    bool start()
    {
        auto started = LocalCloudServer::start({ .dataFolder = m_dataFolder, .testControls = true });
        EXPECT_TRUE(started.has_value()) << started.error();
        if (!started)
            return false;
        m_server = std::move(*started);
        m_client = std::make_unique<ServiceClient>(m_server->port());
        return true;
    }
    void stop()
    {
        m_client.reset();
        m_server.reset();
    }
    LocalCloudServer& server() { return *m_server; }
    ServiceClient& client() { return *m_client; }
    const std::filesystem::path& dataFolder() const { return m_dataFolder; }

private:
    std::filesystem::path m_dataFolder;
    std::unique_ptr<LocalCloudServer> m_server;
    std::unique_ptr<ServiceClient> m_client;
};

// `localcloud add-user <folder> <login>` with the password on its standard input; its exit status.
int addUser(const std::filesystem::path& folder, const std::string& login, const std::string& password)
{
    int input[2];
    if (::pipe(input) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, input[1]);
    std::vector<std::string> arguments { LOCALCLOUD_PROGRAM, "add-user", folder.string(), login };
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    int spawned = ::posix_spawn(&child, LOCALCLOUD_PROGRAM, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    if (spawned == 0) {
        auto line = password + "\n";
        static_cast<void>(::write(input[1], line.data(), line.size()));
    }
    ::close(input[1]);
    if (spawned != 0)
        return -1;
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ServicePowerCutTests : public ::testing::TestWithParam<PowerCutMount::Model> {};

std::string modelName(const ::testing::TestParamInfo<PowerCutMount::Model>& info)
{
    return info.param == PowerCutMount::Model::ext4 ? "FolderEntriesAtOnce" : "FolderEntriesOnFolderSync";
}

} // namespace

TEST_P(ServicePowerCutTests, EveryAnsweredChangeSurvivesAPowerCut)
{
    // The service answers an upload, a new folder, a move and a delete only once
    // they are durable: after a power cut of its disk (the program killed with
    // it) the tree is the answered one, each file with its whole content, in a
    // data folder the program made itself (its database and content folder new
    // on that disk).
    ScratchFolder base;
    auto mount = PowerCutMount::mount(base.path(), GetParam());
    if (!mount && mount.error().unavailable)
        GTEST_SKIP() << mount.error().message;
    ASSERT_TRUE(mount) << mount.error().message;
    auto data = mount->durableFolder("home") / "localcloud";
    ASSERT_EQ(addUser(data, "anna", "geheim"), 0);
    auto program = std::make_unique<LocalCloudProcess>(LOCALCLOUD_PROGRAM, data);
    ASSERT_TRUE(program->waitUntilAccepting(std::chrono::seconds(30)));
    auto client = std::make_unique<ServiceClient>(program->port());
    ASSERT_TRUE(client->logIn("anna", "geheim"));
    // A folder made without a parent goes into the root, which its answer names.
    auto made = client->post("files/folders", { { "folder_name", "Ordner" } }).data();
    auto folder = idOf(made);
    auto root = made.value("parent_file_id", std::int64_t { -1 });
    auto target = idOf(client->createFolder(root, "Ziel"));
    auto small = contentOfSize(3000, 'a');
    auto large = contentOfSize(700 * 1024, 'A');
    auto moved = idOf(client->upload(folder, "verschoben.txt", small));
    auto replaced = idOf(client->upload(root, "ersetzt.bin", contentOfSize(5000, 'k')));
    auto removed = idOf(client->upload(folder, "gelöscht.txt", "weg damit"));
    ASSERT_GT(moved, 0);
    ASSERT_GT(replaced, 0);
    ASSERT_GT(removed, 0);
    ASSERT_EQ(client->transfer(replaced, large, "").status, 200);
    ASSERT_EQ(client->post("files/mover", { { "file_ids", { moved } }, { "destination_folder_id", target } }).status, 200);
    ASSERT_EQ(client->post("files/deleter", { { "file_ids", { removed } } }).data()["success"].size(), 1u);
    auto before = client->everything();
    client.reset();
    program->stop(SIGKILL);

    ASSERT_TRUE(mount->cutAndRemount());
    program = std::make_unique<LocalCloudProcess>(LOCALCLOUD_PROGRAM, data);
    ASSERT_TRUE(program->waitUntilAccepting(std::chrono::seconds(30)));
    client = std::make_unique<ServiceClient>(program->port());
    ASSERT_TRUE(client->logIn("anna", "geheim"));
    EXPECT_EQ(client->everything(), before);
    EXPECT_EQ(client->get("files/" + std::to_string(moved) + "/download").body, small);
    EXPECT_EQ(client->get("files/" + std::to_string(replaced) + "/download").body, large);
    EXPECT_EQ(client->file(moved).value("parent_file_id", std::int64_t { -1 }), target);
    EXPECT_EQ(client->get("files/" + std::to_string(removed)).status, 404);
}

INSTANTIATE_TEST_SUITE_P(BothModels, ServicePowerCutTests,
    ::testing::Values(PowerCutMount::Model::ext4, PowerCutMount::Model::strict), modelName);

TEST(ServiceDamagedContentTests, ContentThatIsNotTheRecordedOneIsReportedDamagedNeverServed)
{
    // Content lost under its record (emptied, zero-filled at its size, gone)
    // is found at the start: the file stays listed as recorded, so that no
    // client takes it for deleted, but its download fails with the service's
    // error instead of giving a valid-looking empty or zeroed file. New content
    // uploaded for it heals it; an intact file beside it is served as ever.
    ScratchFolder base;
    Service service(base.path() / "data");
    ASSERT_TRUE(service.start());
    service.server().accounts().addUser("anna", "geheim");
    ASSERT_TRUE(service.client().logIn("anna", "geheim"));
    auto root = service.server().rootIdentifier("anna");
    auto content = contentOfSize(4000, 'a');
    auto emptied = idOf(service.client().upload(root, "geleert.txt", content));
    auto zeroed = idOf(service.client().upload(root, "genullt.txt", contentOfSize(4001, 'b')));
    auto vanished = idOf(service.client().upload(root, "verschwunden.txt", contentOfSize(4002, 'c')));
    auto intact = idOf(service.client().upload(root, "heil.txt", contentOfSize(4003, 'd')));
    auto before = service.client().everything();
    service.stop();
    auto contents = service.dataFolder() / "content";
    std::filesystem::resize_file(contents / std::to_string(emptied), 0);
    std::ofstream(contents / std::to_string(zeroed), std::ios::binary | std::ios::trunc) << std::string(4001, '\0');
    std::filesystem::remove(contents / std::to_string(vanished));

    ASSERT_TRUE(service.start());
    ASSERT_TRUE(service.client().logIn("anna", "geheim"));
    EXPECT_EQ(service.client().everything(), before);
    for (auto damaged : { emptied, zeroed, vanished }) {
        auto download = service.client().get("files/" + std::to_string(damaged) + "/download");
        EXPECT_EQ(download.status, 500) << damaged;
        EXPECT_EQ(download.errorCode(), std::to_string(ServiceErrors::internalCode)) << damaged;
        EXPECT_EQ(download.json().value("message", ""), "The content of the file is damaged") << damaged;
    }
    EXPECT_EQ(service.client().get("files/" + std::to_string(intact) + "/download").body, contentOfSize(4003, 'd'));

    ASSERT_EQ(service.client().transfer(emptied, content, "").status, 200);
    EXPECT_EQ(service.client().get("files/" + std::to_string(emptied) + "/download").body, content);
}
