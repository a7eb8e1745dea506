// A stand-in for the extension process: sleeps until a signal ends it. Given
// a file, it holds it locked as glimmerd holds the lock of its group directory,
// and ends at once with status 1 when another process holds it. It says on
// stderr what it does, as glimmerd logs there.
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc > 1) {
        int descriptor = ::open(argv[1], O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (descriptor < 0 || ::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            std::fprintf(stderr, "stand-in %d: the lock is held elsewhere\n", static_cast<int>(::getpid()));
            return 1;
        }
    }
    std::fprintf(stderr, "stand-in %d: running\n", static_cast<int>(::getpid()));
    while (true)
        ::pause();
}
