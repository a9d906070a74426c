// Raw reads and positioning on the handles of openFile.
#include "FileIo.h"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <cerrno>
#  include <cstdint>
#  include <sys/stat.h>
#  include <sys/types.h>
#  include <unistd.h>
#endif

namespace Velum {

#if defined(_WIN32)

long readFile(void* file, unsigned char* buffer, unsigned long size)
{
    DWORD read = 0;
    if (!ReadFile(file, buffer, size, &read, nullptr)) {
        // The writer of a pipe has closed its end: that is the end of the
        // data, not a failure.
        const DWORD error = GetLastError();
        return error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF ? 0 : -1;
    }
    return static_cast<long>(read);
}

bool tellFile(void* file, unsigned long long* position)
{
    LONG high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(file, 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return false;
    *position = (static_cast<unsigned long long>(static_cast<DWORD>(high)) << 32) | low;
    return true;
}

bool seekFile(void* file, unsigned long long position)
{
    LONG high = static_cast<LONG>(position >> 32);
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(file, static_cast<LONG>(position & 0xFFFFFFFFu), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool isDiskFile(void* file)
{
    return GetFileType(file) == FILE_TYPE_DISK;
}

#else

namespace {

int ToDescriptor(void* file)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(file) - 1);
}

}  // namespace

long readFile(void* file, unsigned char* buffer, unsigned long size)
{
    for (;;) {
        const ssize_t read = ::read(ToDescriptor(file), buffer, size);
        if (read >= 0)
            return static_cast<long>(read);
        if (errno != EINTR)
            return -1;
    }
}

bool tellFile(void* file, unsigned long long* position)
{
    const off_t at = lseek(ToDescriptor(file), 0, SEEK_CUR);
    if (at < 0)
        return false;
    *position = static_cast<unsigned long long>(at);
    return true;
}

bool seekFile(void* file, unsigned long long position)
{
    return lseek(ToDescriptor(file), static_cast<off_t>(position), SEEK_SET) >= 0;
}

bool isDiskFile(void* file)
{
    struct stat info;
    return fstat(ToDescriptor(file), &info) == 0 && S_ISREG(info.st_mode);
}

#endif

}  // namespace Velum
