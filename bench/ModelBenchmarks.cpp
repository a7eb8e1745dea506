// The API models at the scale of a large account: decoding one envelope of
// 100,000 file objects held in memory, and sorting those files by name.
// Each case also times its baseline in the same process (nlohmann-json's
// parse of the same text without typed decoding; a plain byte-order sort of
// the same names) and reports the ratio, since the machine is shared and noisy.
// Peak memory is the process's resident high-water mark, reset before each run.

#include "PeakMemory.hpp"
#include "Quarlink/Coding/JSONDecoder.hpp"
#include "Quarlink/Files/FileOrder.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/CloudMetaPackage.hpp"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <string>

namespace {

constexpr int fileCount = 100'000;

using Files = Quarlink::CloudMetaPackage<std::vector<Quarlink::File>>;

double seconds(std::chrono::steady_clock::duration duration)
{
    return std::chrono::duration<double>(duration).count();
}

// Names of the kinds a real tree holds: mostly Latin letters, some digits,
// umlauts, decomposed accents and other scripts.
std::string nameFor(int index)
{
    static const char* stems[] = { "Bericht", "urlaub", "\xC3\x84rger", "Zebra", "2024-Steuer", "e\xCC\x81t\xC3\xA9",
        "\xD0\xB6\xD1\x83\xD0\xBA", "Rechnung", "_entwurf", "foto" };
    return std::string(stems[index % 10]) + " " + std::to_string(index * 7919 % fileCount) + ".pdf";
}

const std::string& envelope()
{
    static const std::string text = [] {
        std::string document = R"({"meta":{"quota":{"used":123456789,"total":1000000000}},"data":[)";
        for (int index = 0; index < fileCount; ++index) {
            if (index > 0)
                document += ',';
            auto name = nameFor(index);
            document += R"({"id":)" + std::to_string(index + 2) + R"(,"parent_file_id":1,"path":"/Ordner )"
                + std::to_string(index % 100) + "/" + name + R"(","name":")" + name
                + R"(","has_private_shares":false,"has_public_shares":false,"is_share_allowed_private":true,)"
                + R"("is_share_allowed_public":true,"share_with":0,"created":1600000000,"modified":)"
                + std::to_string(1600000000 + index) + R"(,"mime_type":"application/pdf","file_size":)"
                + std::to_string(index * 31) + R"(,"file_hash":"da39a3ee5e6b4b0d3255bfef95601890afd80709","deleted":null,)"
                + R"("etag":"etag-)" + std::to_string(index) + R"("})";
        }
        return document + "]}";
    }();
    return text;
}

void DecodeFileEnvelope(benchmark::State& state)
{
    const auto& text = envelope();
    double decodeSeconds = 0;
    double baselineSeconds = 0;
    double peak = 0;
    double peakBefore = 0;
    for (auto _ : state) {
        Bench::resetPeakResident();
        peakBefore = Bench::peakResidentMegabytes();
        auto decodeStart = std::chrono::steady_clock::now();
        auto files = Quarlink::JSONDecoder::makeDefault().decode<Files>(text);
        auto decoded = std::chrono::steady_clock::now();
        peak = std::max(peak, Bench::peakResidentMegabytes());
        if (!files || files->payload().size() != fileCount)
            state.SkipWithError("decoding failed");
        benchmark::DoNotOptimize(files);
        files = std::unexpected(Quarlink::DecodingError(Quarlink::DecodingError::Kind::dataCorrupted, {}, ""));

        // The baseline after the measured run, so that its tree is not in the peak.
        auto start = std::chrono::steady_clock::now();
        auto baseline = nlohmann::json::parse(text);
        benchmark::DoNotOptimize(baseline);
        auto parsed = std::chrono::steady_clock::now();
        baseline = nullptr;
        state.SetIterationTime(seconds(decoded - decodeStart));
        decodeSeconds += seconds(decoded - decodeStart);
        baselineSeconds += seconds(parsed - start);
    }
    state.counters["baseline_parse_s"] = baselineSeconds / static_cast<double>(state.iterations());
    state.counters["ratio"] = decodeSeconds / baselineSeconds;
    state.counters["peak_MB"] = peak;
    state.counters["peak_before_MB"] = peakBefore;
    state.counters["document_MB"] = static_cast<double>(text.size()) / (1024.0 * 1024.0);
}
BENCHMARK(DecodeFileEnvelope)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void SortFilesByName(benchmark::State& state)
{
    std::setlocale(LC_COLLATE, "de_DE.UTF-8");
    auto files = Quarlink::JSONDecoder::makeDefault().decode<Files>(envelope())->payload();
    std::vector<std::string> names;
    for (const auto& file : files)
        names.push_back(file.fileName());

    double sortSeconds = 0;
    double baselineSeconds = 0;
    for (auto _ : state) {
        auto copy = names;
        auto start = std::chrono::steady_clock::now();
        std::sort(copy.begin(), copy.end());
        auto baselineEnd = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(copy);

        auto sortStart = std::chrono::steady_clock::now();
        auto result = Quarlink::sorted(files, Quarlink::FileOrder::byName);
        auto sortEnd = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(result);
        state.SetIterationTime(seconds(sortEnd - sortStart));
        sortSeconds += seconds(sortEnd - sortStart);
        baselineSeconds += seconds(baselineEnd - start);
    }
    state.counters["baseline_bytesort_s"] = baselineSeconds / static_cast<double>(state.iterations());
    state.counters["ratio"] = sortSeconds / baselineSeconds;
}
BENCHMARK(SortFilesByName)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
