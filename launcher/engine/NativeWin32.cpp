// Native stand-ins for the Win32 calls declared in Platform.h. Built only
// outside Windows.
#include "Platform.h"

#include <cstring>

namespace {
thread_local DWORD lastError = 0;

UINT CopyDirectory(const char* path, char* buffer, UINT size)
{
    const UINT length = static_cast<UINT>(std::strlen(path));
    if (size <= length)
        return length + 1;  // as Windows does: the size the buffer needs
    std::memcpy(buffer, path, length + 1);
    return length;
}
}  // namespace

BOOL IsDBCSLeadByte(BYTE b)
{
    // The lead bytes of Shift-JIS (code page 932).
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

void SetLastError(DWORD code) { lastError = code; }
DWORD GetLastError() { return lastError; }

UINT GetSystemDirectoryA(char* buffer, UINT size)
{
    return CopyDirectory("C:\\windows\\system32", buffer, size);
}

UINT GetWindowsDirectoryA(char* buffer, UINT size)
{
    return CopyDirectory("C:\\windows", buffer, size);
}
