// Logins of the local service's accounts beside many live sessions: the same
// account logging in again and again with no other session (the baseline)
// and beside 50,000 sessions of 500 other accounts. A login should cost the
// same however many sessions are live.

#include "LocalCloud/Accounts/Accounts.hpp"
#include "LocalCloud/Storage/ServiceDatabase.hpp"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

void BM_Login(benchmark::State& state)
{
    auto folder = std::filesystem::temp_directory_path() / ("localcloud-sessions-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    {
        LocalCloud::Accounts accounts(LocalCloud::ServiceClock::system());
        if (!accounts.attachDatabase(LocalCloud::serviceDatabaseConfiguration(folder)))
            std::abort();
        accounts.addUser("bench", "bench");
        const auto others = state.range(0) / 100;
        for (std::int64_t account = 0; account < others; ++account) {
            auto login = "other" + std::to_string(account);
            accounts.addUser(login, "geheim");
            for (int session = 0; session < 100; ++session)
                (void)accounts.logIn("2", login, "geheim", "127.0.0.1");
        }
        for (auto _ : state) {
            auto result = accounts.logIn("2", "bench", "bench", "127.0.0.1");
            benchmark::DoNotOptimize(result);
        }
        state.counters["sessions"] = static_cast<double>(accounts.liveSessionCount());
        state.SetItemsProcessed(state.iterations());
    }
    std::filesystem::remove_all(folder);
}

} // namespace

BENCHMARK(BM_Login)->Arg(0)->Arg(50000);

BENCHMARK_MAIN();
