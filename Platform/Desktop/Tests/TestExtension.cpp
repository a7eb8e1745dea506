// A stand-in for the extension process: sleeps until a signal ends it.
#include <unistd.h>

int main()
{
    while (true)
        ::pause();
}
