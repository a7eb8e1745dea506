// A stand-in for the extension process: sleeps until a signal ends it. Given
// a file, it holds it locked as glimmerd holds the lock of its group directory.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc > 1) {
        int descriptor = ::open(argv[1], O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (descriptor < 0 || ::flock(descriptor, LOCK_EX | LOCK_NB) != 0)
            return 1;
    }
    while (true)
        ::pause();
}
