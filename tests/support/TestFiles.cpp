#include "TestFiles.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace {

const char kRecordEnd[] = "--end--\n";

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

int CountRecords(const std::string& text)
{
    int count = 0;
    for (std::size_t at = text.find(kRecordEnd); at != std::string::npos;
         at = text.find(kRecordEnd, at + 1))
        ++count;
    return count;
}

}  // namespace

std::string Ansi(const char* utf8)
{
    const int wideSize = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::vector<wchar_t> wide(static_cast<std::size_t>(wideSize));
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), wideSize);
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, &ansi[0], size, nullptr, nullptr);
    ansi.resize(static_cast<std::size_t>(size) - 1);
    return ansi;
}

std::string ProgramFolder()
{
    char path[MAX_PATH * 4] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder = path;
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

std::string FreshTempFolder(const std::string& name)
{
    char temp[MAX_PATH * 4] = {};
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + name;
    RemoveTree(folder);
    CreateDirectoryA(folder.c_str(), nullptr);
    return folder;
}

std::string ReadWholeFile(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

std::string WaitForRecords(const std::string& path, int count, int timeoutMs)
{
    const DWORD start = GetTickCount();
    std::string text = ReadWholeFile(path);
    while (CountRecords(text) < count && GetTickCount() - start < static_cast<DWORD>(timeoutMs)) {
        Sleep(50);
        text = ReadWholeFile(path);
    }
    return text;
}

std::vector<RecordedRun> ParseRecords(const std::string& text)
{
    std::vector<RecordedRun> runs;
    RecordedRun run;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line + "\n" == kRecordEnd) {
            runs.push_back(run);
            run = RecordedRun();
        } else if (line.rfind("command line: ", 0) == 0) {
            run.commandLine = line.substr(14);
        } else if (line.rfind("current folder: ", 0) == 0) {
            run.currentFolder = line.substr(16);
        } else if (line.rfind("probe: ", 0) == 0) {
            run.probe = line.substr(7);
        }
    }
    return runs;
}

std::vector<std::string> SortedCommandLines(const std::vector<RecordedRun>& runs)
{
    std::vector<std::string> lines;
    for (const RecordedRun& run : runs)
        lines.push_back(run.commandLine);
    std::sort(lines.begin(), lines.end());
    return lines;
}
