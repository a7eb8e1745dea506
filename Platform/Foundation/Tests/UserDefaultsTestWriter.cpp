// Writes keys into a settings suite from a second process:
// UserDefaultsTestWriter <folder> <prefix> <count> [<value>]
// sets "<prefix><n>" to n (or to <value> as text) for n below count.
#include "Platform/Foundation/UserDefaults.hpp"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    auto defaults = Platform::UserDefaults::open(argv[1]);
    if (!defaults)
        return 3;
    std::string prefix = argv[2];
    int count = std::stoi(argv[3]);
    for (int index = 0; index < count; ++index) {
        Platform::UserDefaults::Value value = index;
        if (argc > 4)
            value = std::string(argv[4]);
        if (!(*defaults)->set(prefix + std::to_string(index), value))
            return 4;
    }
    return 0;
}
