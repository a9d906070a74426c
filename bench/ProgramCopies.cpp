// What the benchmarks that start built programs share: copies of a program
// with its DLLs in a scratch folder, and the window a started copy shows.
#include "ProgramCopies.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace bench {

int RunsAndPaths(int argc, char** argv, int fallback, std::vector<std::string>* paths)
{
    int runs = fallback;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            paths->push_back(argv[i]);
    }
    return runs;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string NameOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string OwnFolder()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return FolderOf(path);
}

// Copies the DLLs of source's folder into folder, keeping any already
// there: every program here takes the same runtime and Velum.
bool CopyDlls(const std::string& sourceFolder, const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((sourceFolder + "\\*.dll").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return true;
    bool ok = true;
    do {
        const std::string target = folder + "\\" + found.cFileName;
        if (GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES)
            ok = CopyFileA((sourceFolder + "\\" + found.cFileName).c_str(), target.c_str(), TRUE) && ok;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return ok;
}

// The visible window of that class and title belonging to the process, or
// null. FindWindow alone could answer with a window of an earlier run that
// is still going away.
HWND VisibleWindowOf(DWORD processId, const char* windowClass, const char* windowTitle)
{
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, windowClass, windowTitle)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

}  // namespace bench
