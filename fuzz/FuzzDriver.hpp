#pragma once

// A small fuzz driver without outside tools: feeds the seed corpus, then
// random and mutated inputs (from a fixed seed, so a failure repeats) to one
// entry point for a bounded time or number of runs. A crash or a sanitizer
// report ends the process; the input that caused it is written first.
//
//   <driver> [--seconds N] [--runs N] [--seed N] [--max-length N] corpus-folder...

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

// Present when a sanitizer is linked in: called before it ends the process.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace Fuzz {

inline std::string* currentInput = nullptr;

// Writes the input under way to "crash-input" before a sanitizer ends the process.
inline void saveCurrentInput()
{
    if (currentInput) {
        std::ofstream("crash-input", std::ios::binary) << *currentInput;
        std::fprintf(stderr, "fuzz: the input is in ./crash-input (%zu bytes)\n", currentInput->size());
    }
}

class Mutator {
public:
    explicit Mutator(std::uint64_t seed, std::vector<std::string> dictionary)
        : m_random(seed)
        , m_dictionary(std::move(dictionary))
    {
    }

    std::string mutate(std::string input, std::size_t maximumLength)
    {
        auto rounds = 1 + below(4);
        for (std::size_t round = 0; round < rounds; ++round) {
            switch (below(8)) {
            case 0: // flip a bit
                if (!input.empty())
                    input[below(input.size())] ^= static_cast<char>(1u << below(8));
                break;
            case 1: // a random byte
                if (!input.empty())
                    input[below(input.size())] = static_cast<char>(below(256));
                break;
            case 2: // insert a byte
                input.insert(input.begin() + static_cast<std::ptrdiff_t>(below(input.size() + 1)), static_cast<char>(below(256)));
                break;
            case 3: // erase a stretch
                if (!input.empty()) {
                    auto at = below(input.size());
                    input.erase(at, 1 + below(std::min<std::size_t>(16, input.size() - at)));
                }
                break;
            case 4: // duplicate a stretch
                if (!input.empty()) {
                    auto at = below(input.size());
                    auto piece = input.substr(at, 1 + below(std::min<std::size_t>(64, input.size() - at)));
                    input.insert(below(input.size() + 1), piece);
                }
                break;
            case 5: // a token of the format
                if (!m_dictionary.empty())
                    input.insert(below(input.size() + 1), m_dictionary[below(m_dictionary.size())]);
                break;
            case 6: // deep nesting
                input.insert(below(input.size() + 1), std::string(1 + below(200), below(2) ? '[' : '{'));
                break;
            default: // an interesting number
                static const char* const numbers[] = { "0", "-1", "1e308", "-9223372036854775808", "18446744073709551616",
                    "1.7976931348623157e309", "NaN", "\"\\u0000\"", "\"\\ud800\"", "null", "true" };
                input.insert(below(input.size() + 1), numbers[below(std::size(numbers))]);
                break;
            }
        }
        if (input.size() > maximumLength)
            input.resize(maximumLength);
        return input;
    }

    std::string random(std::size_t maximumLength)
    {
        std::string input(below(maximumLength + 1), '\0');
        for (auto& byte : input)
            byte = static_cast<char>(below(256));
        return input;
    }

    std::size_t below(std::size_t bound) { return bound == 0 ? 0 : static_cast<std::size_t>(m_random() % bound); }

private:
    std::mt19937_64 m_random;
    std::vector<std::string> m_dictionary;
};

inline int run(int argc, char** argv, std::vector<std::string> dictionary, const std::function<void(std::string_view)>& target)
{
    double seconds = 10;
    std::uint64_t runs = UINT64_MAX;
    std::uint64_t seed = 1;
    std::size_t maximumLength = 4096;
    std::vector<std::string> corpus;
    for (int index = 1; index < argc; ++index) {
        std::string argument = argv[index];
        auto next = [&] { return index + 1 < argc ? std::string(argv[++index]) : std::string("0"); };
        if (argument == "--seconds")
            seconds = std::stod(next());
        else if (argument == "--runs")
            runs = std::stoull(next());
        else if (argument == "--seed")
            seed = std::stoull(next());
        else if (argument == "--max-length")
            maximumLength = std::stoull(next());
        else {
            std::error_code error;
            for (const auto& entry : std::filesystem::directory_iterator(argument, error)) {
                std::ifstream stream(entry.path(), std::ios::binary);
                corpus.emplace_back(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
            }
        }
    }
    std::sort(corpus.begin(), corpus.end());
    if (__sanitizer_set_death_callback)
        __sanitizer_set_death_callback(saveCurrentInput);
    std::string input;
    currentInput = &input;
    for (const auto& seedInput : corpus) {
        input = seedInput;
        target(input);
    }
    Mutator mutator(seed, std::move(dictionary));
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::uint64_t count = 0;
    for (; count < runs && std::chrono::steady_clock::now() < end; ++count) {
        if (corpus.empty() || mutator.below(8) == 0)
            input = mutator.random(std::min<std::size_t>(maximumLength, 256));
        else
            input = mutator.mutate(corpus[mutator.below(corpus.size())], maximumLength);
        target(input);
    }
    currentInput = nullptr;
    std::printf("fuzz: %zu seeds and %llu generated inputs, seed %llu, no failure\n", corpus.size(),
        static_cast<unsigned long long>(count), static_cast<unsigned long long>(seed));
    return 0;
}

} // namespace Fuzz
