// Moves one item to the Trash, as the application would, so tests can run the
// real code as another (unprivileged) user. Prints where the item went.
#include "Platform/FileSystem/Trash.hpp"

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    auto trashed = Platform::Trash::moveToTrash(argv[1]);
    if (!trashed) {
        std::printf("refused\t%s\n", trashed.error().description().c_str());
        return 1;
    }
    std::printf("%s\n", trashed->trashedPath.c_str());
    return 0;
}
