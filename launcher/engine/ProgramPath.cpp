#include "ProgramPath.h"

#include "TextRoutines.h"

#include <windows.h>

std::string GetProgramPath()
{
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::string();
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);  // cut short: try a larger buffer
    }
}

std::string GetProgramFolder()
{
    std::string path = GetProgramPath();
    const int slash = FindLastChar(path.c_str(), '\\', 0);
    if (slash < 0)
        return std::string();
    path.resize(static_cast<std::size_t>(slash) + 1);
    return path;
}
