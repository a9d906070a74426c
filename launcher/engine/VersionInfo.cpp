#include "VersionInfo.h"

#include "ProgramPath.h"

#include <cstdio>
#include <cstring>
#include <vector>

bool GetFixedFileInfo(const char* modulePath, VS_FIXEDFILEINFO* info)
{
    const std::string path = modulePath != nullptr ? std::string(modulePath) : GetProgramPath();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0)
        return false;
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, block.data()))
        return false;
    void* fixed = nullptr;
    UINT fixedSize = 0;
    if (!VerQueryValueA(block.data(), "\\", &fixed, &fixedSize) || fixedSize < sizeof(*info))
        return false;
    std::memcpy(info, fixed, sizeof(*info));
    return true;
}

bool GetVersionText(const char* modulePath, char* text, unsigned* size)
{
    VS_FIXEDFILEINFO info = {};
    if (!GetFixedFileInfo(modulePath, &info)) {
        *size = 0;
        return false;
    }
    char version[23];
    std::snprintf(version, sizeof version, "%u.%02u", HIWORD(info.dwProductVersionMS),
                  LOWORD(info.dwProductVersionMS));
    const unsigned revision = HIWORD(info.dwProductVersionLS);
    char full[23];
    if (revision == 0)
        std::snprintf(full, sizeof full, "%s Beta %lx", version,
                      static_cast<unsigned long>((info.dwProductVersionLS >> 8) & 0xFF));
    else if (revision == 1)
        std::snprintf(full, sizeof full, "%s", version);
    else
        std::snprintf(full, sizeof full, "%s Rev. %x", version, revision);
    const unsigned length = static_cast<unsigned>(std::strlen(full));
    if (length < *size) {
        std::memcpy(text, full, length + 1);
        *size = length;
        return true;
    }
    if (*size > 0)
        text[0] = '\0';
    *size = length;
    return false;
}

std::string GetDottedVersion(const char* modulePath)
{
    VS_FIXEDFILEINFO info = {};
    if (!GetFixedFileInfo(modulePath, &info))
        return std::string();
    char text[23];
    std::snprintf(text, sizeof text, "%u.%02u.%02u", HIWORD(info.dwProductVersionMS),
                  LOWORD(info.dwProductVersionMS), HIWORD(info.dwProductVersionLS));
    return text;
}
