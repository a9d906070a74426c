// Helper of the file tests: holds a lock on a file from another process
// until told to let go; shared unless "exclusive" follows.
//   velum_lock_holder <file> <ready event> <release event> [exclusive]
// The events are made when the caller has not made them; "locked" on the
// standard output also says the lock is held (for scripts, which have no
// events). Exit code 0 when the lock was taken and released in order;
// otherwise the step that failed (the test reports it).
#include "velum/Velum.h"

#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 4 && argc != 5)
        return 2;
    const bool exclusive = argc == 5 && lstrcmpA(argv[4], "exclusive") == 0;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, argv[2]);
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, argv[3]);
    if (ready == nullptr || release == nullptr)
        return 3;
    void* file = Velum::openFile(argv[1], 0x13);
    if (file == nullptr)
        return 4;
    if (!Velum::lockFile(file, exclusive ? 2 : 1)) {
        Velum::closeFile(file);
        return 5;
    }
    SetEvent(ready);
    std::puts("locked");
    std::fflush(stdout);
    // Not forever: a test that died must not leave this process behind.
    const bool released = WaitForSingleObject(release, 60000) == WAIT_OBJECT_0;
    const bool closed = Velum::closeFile(file);
    CloseHandle(ready);
    CloseHandle(release);
    return !released ? 6 : !closed ? 7 : 0;
}
