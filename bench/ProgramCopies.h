// What the benchmarks that start built programs share: copies of a program
// with its DLLs in a scratch folder, and the window a started copy shows.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

// The number after "--runs" (fallback without one); the other arguments,
// program paths, go to paths.
int RunsAndPaths(int argc, char** argv, int fallback, std::vector<std::string>* paths);

// The folder part of path ("." when it has none), and the name after it.
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);
// The folder of the running benchmark.
std::string OwnFolder();

// Copies the DLLs of sourceFolder into folder, keeping any already there:
// every program here takes the same runtime and Velum. False when one
// could not be copied.
bool CopyDlls(const std::string& sourceFolder, const std::string& folder);

// The visible window of that class and title belonging to the process, or
// null. FindWindow alone could answer with a window of an earlier run that
// is still going away.
HWND VisibleWindowOf(DWORD processId, const char* windowClass, const char* windowTitle);

}  // namespace bench
