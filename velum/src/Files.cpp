// The file functions through which callers get, lock and close the handles
// that parse and serialize take.
//
// On Windows the void* is the Win32 file handle. Natively it is the file
// descriptor plus one, so that descriptor 0 is not the null pointer that
// means failure; parse and serialize undo the offset.
#include "velum/Velum.h"

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <cerrno>
#  include <cstdint>
#  include <fcntl.h>
#  include <string>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

namespace Velum {

extern bool g_ntFamily;

namespace {

const int MODE_MASK = 0x0F;
const int MODE_CREATE_NEW = 1;
const int MODE_CREATE_ALWAYS = 2;
const int MODE_OPEN_EXISTING = 3;
const int ACCESS_READ = 0x10;
const int ACCESS_WRITE = 0x20;

const int LOCK_SHARED = 1;
const int LOCK_EXCLUSIVE = 2;
const int LOCK_FAIL_AT_ONCE = 4;
const int LOCK_RELEASE = 8;

#if defined(_WIN32)

// ---------------------------------------------------------------------------
// Win32
// ---------------------------------------------------------------------------

typedef BOOL(WINAPI* LockFileExProc)(HANDLE, DWORD, DWORD, DWORD, DWORD, LPOVERLAPPED);
typedef BOOL(WINAPI* UnlockFileExProc)(HANDLE, DWORD, DWORD, DWORD, LPOVERLAPPED);

// Looked up at each call rather than imported, so that the library still
// loads on systems whose KERNEL32 lacks them. Null when missing.
FARPROC KernelProc(const char* name)
{
    HMODULE kernel = GetModuleHandleA("KERNEL32");
    return kernel ? GetProcAddress(kernel, name) : nullptr;
}

template <typename Proc>
Proc KernelProcAs(const char* name)
{
    // Through a neutral function pointer type: FARPROC's own signature is
    // unrelated to the real one.
    return reinterpret_cast<Proc>(reinterpret_cast<void (*)()>(KernelProc(name)));
}

bool CreationDisposition(int flags, DWORD& disposition)
{
    switch (flags & MODE_MASK) {
    case MODE_CREATE_NEW: disposition = CREATE_NEW; return true;
    case MODE_CREATE_ALWAYS: disposition = CREATE_ALWAYS; return true;
    case MODE_OPEN_EXISTING: disposition = OPEN_EXISTING; return true;
    default: return false;
    }
}

DWORD DesiredAccess(int flags)
{
    DWORD access = 0;
    if (flags & ACCESS_READ)
        access |= GENERIC_READ;
    if (flags & ACCESS_WRITE)
        access |= GENERIC_WRITE;
    return access;
}

void* FromWin32Handle(HANDLE handle)
{
    return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

// The whole first 4 GB: offset 0, length low part 0, high part 1.
bool UnlockWholeRange(HANDLE handle, UnlockFileExProc unlock)
{
    OVERLAPPED range = {};
    return unlock(handle, 0, 0, 1, &range) != FALSE;
}

#else

// ---------------------------------------------------------------------------
// POSIX
// ---------------------------------------------------------------------------

int ToDescriptor(void* file)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(file) - 1);
}

void* FromDescriptor(int fd)
{
    return reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);
}

// The same 4 GB range the Windows build locks; where off_t is 32 bits wide
// the length 0 stands for "to the end and beyond", which covers it.
constexpr off_t LockLength()
{
    return sizeof(off_t) > 4 ? static_cast<off_t>(0x100000000LL) : 0;
}

void* OpenPath(const char* path, int flags)
{
    int oflags = O_CLOEXEC;
    switch (flags & MODE_MASK) {
    case MODE_CREATE_NEW: oflags |= O_CREAT | O_EXCL; break;
    case MODE_CREATE_ALWAYS: oflags |= O_CREAT | O_TRUNC; break;
    case MODE_OPEN_EXISTING: break;
    default: return nullptr;
    }
    // Neither access bit: read-only is the nearest thing POSIX has to a
    // handle that may only be queried and locked.
    const bool read = (flags & ACCESS_READ) != 0;
    const bool write = (flags & ACCESS_WRITE) != 0;
    oflags |= write ? (read ? O_RDWR : O_WRONLY) : O_RDONLY;

    int fd;
    do {
        fd = open(path, oflags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return nullptr;

    // A folder opens on POSIX but not through the Windows create-file call;
    // refuse it here too rather than hand out a handle that cannot be read.
    struct stat info;
    if (fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        close(fd);
        return nullptr;
    }
#if defined(POSIX_FADV_SEQUENTIAL)
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    return FromDescriptor(fd);
}

// UTF-16 to UTF-8 with surrogate pairs joined. False for an unpaired
// surrogate: no byte sequence names such a file, and a replacement
// character could name a different one.
bool Utf16ToUtf8(const Velum_CHAR* text, std::string& out)
{
    for (const Velum_CHAR* p = text; *p != 0; ++p) {
        unsigned long c = *p;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (p[1] < 0xDC00 || p[1] > 0xDFFF)
                return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
            ++p;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return true;
}

// Open-file-description locks belong to the open file, not the process, so
// two handles in one process conflict as they do on Windows. Kernels
// without them report EINVAL and get the classic per-process locks.
bool SetLock(int fd, short type, bool wait)
{
    struct flock range = {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = LockLength();
#if defined(F_OFD_SETLK)
    for (;;) {
        if (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &range) == 0)
            return true;
        if (errno == EINTR && wait)
            continue;
        if (errno != EINVAL)
            return false;
        break;
    }
    range.l_pid = 0;
#endif
    for (;;) {
        if (fcntl(fd, wait ? F_SETLKW : F_SETLK, &range) == 0)
            return true;
        if (errno != EINTR || !wait)
            return false;
    }
}

#endif

}  // namespace

// ---------------------------------------------------------------------------
// Open
// ---------------------------------------------------------------------------

#if defined(_WIN32)

void* openFile(const char* path, int flags)
{
    DWORD disposition;
    if (path == nullptr || !CreationDisposition(flags, disposition))
        return nullptr;
    return FromWin32Handle(CreateFileA(path, DesiredAccess(flags), FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       disposition, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

void* openFile(const Velum_CHAR* path, int flags)
{
    DWORD disposition;
    if (path == nullptr || !CreationDisposition(flags, disposition))
        return nullptr;
    return FromWin32Handle(CreateFileW(reinterpret_cast<LPCWSTR>(path), DesiredAccess(flags),
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, disposition,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

#else

void* openFile(const char* path, int flags)
{
    if (path == nullptr)
        return nullptr;
    return OpenPath(path, flags);
}

void* openFile(const Velum_CHAR* path, int flags)
{
    if (path == nullptr)
        return nullptr;
    std::string utf8;
    try {
        if (!Utf16ToUtf8(path, utf8))
            return nullptr;
    } catch (...) {
        // Out of memory while converting: a failed open, not an exception.
        return nullptr;
    }
    return OpenPath(utf8.c_str(), flags);
}

#endif

// ---------------------------------------------------------------------------
// Lock and close
// ---------------------------------------------------------------------------

#if defined(_WIN32)

bool lockFile(void* file, int flags)
{
    if (file == nullptr)
        return false;
    if (!g_ntFamily) {
        // The old calls know no lock kinds and never wait.
        if (flags & LOCK_RELEASE)
            return UnlockFile(file, 0, 0, 0xFFFFFFFF, 0) != FALSE;
        return LockFile(file, 0, 0, 0xFFFFFFFF, 0) != FALSE;
    }
    if (flags & LOCK_RELEASE) {
        UnlockFileExProc unlock = KernelProcAs<UnlockFileExProc>("UnlockFileEx");
        return unlock != nullptr && UnlockWholeRange(file, unlock);
    }
    LockFileExProc lock = KernelProcAs<LockFileExProc>("LockFileEx");
    if (lock == nullptr)
        return false;
    DWORD lockFlags;
    if (flags & LOCK_EXCLUSIVE)
        lockFlags = LOCKFILE_EXCLUSIVE_LOCK;
    else if (flags & LOCK_SHARED)
        lockFlags = 0;
    else
        return true;
    if (flags & LOCK_FAIL_AT_ONCE)
        lockFlags |= LOCKFILE_FAIL_IMMEDIATELY;
    OVERLAPPED range = {};
    return lock(file, lockFlags, 0, 0, 1, &range) != FALSE;
}

bool closeFile(void* file)
{
    if (file == nullptr)
        return false;
    if (g_ntFamily) {
        // Without UnlockFileEx the handle stays open: closing it would leave
        // the caller no way to learn that the lock was not released first.
        UnlockFileExProc unlock = KernelProcAs<UnlockFileExProc>("UnlockFileEx");
        if (unlock == nullptr)
            return false;
        // Fails when nothing was locked, which is no reason to keep the file.
        UnlockWholeRange(file, unlock);
    } else {
        UnlockFile(file, 0, 0, 0xFFFFFFFF, 0);
    }
    return CloseHandle(file) != FALSE;
}

#else

bool lockFile(void* file, int flags)
{
    if (file == nullptr)
        return false;
    const int fd = ToDescriptor(file);
    if (flags & LOCK_RELEASE)
        return SetLock(fd, F_UNLCK, false);
    short type;
    if (flags & LOCK_EXCLUSIVE)
        type = F_WRLCK;
    else if (flags & LOCK_SHARED)
        type = F_RDLCK;
    else
        return true;
    return SetLock(fd, type, (flags & LOCK_FAIL_AT_ONCE) == 0);
}

bool closeFile(void* file)
{
    if (file == nullptr)
        return false;
    const int fd = ToDescriptor(file);
    // Closing the last descriptor of the open file drops its locks anyway;
    // the explicit release covers a descriptor the caller duplicated.
    SetLock(fd, F_UNLCK, false);
    // Linux frees the descriptor even when close reports EINTR, so it is
    // not retried: a retry could close a descriptor another thread just got.
    return close(fd) == 0 || errno == EINTR;
}

#endif

}  // namespace Velum
