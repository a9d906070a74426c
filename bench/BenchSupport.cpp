#include "BenchSupport.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace bench {

std::string FoldedKey(std::string text)
{
    for (char& c : text)
        c = AsciiUpper(c);
    return text;
}

std::string Lowered(std::string text)
{
    for (char& c : text)
        c = AsciiLower(c);
    return text;
}

double NowMs()
{
    static const double perMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / perMs;
}

Stats Summarize(std::vector<double> samples, unsigned percentile)
{
    Stats stats;
    if (samples.empty())
        return stats;
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    stats.median = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    stats.min = samples.front();
    const std::size_t rank = (percentile * n + 99) / 100;  // 1-based
    stats.percentile = samples[std::min(std::max<std::size_t>(rank, 1), n) - 1];
    return stats;
}

std::string Grouped(unsigned long long value)
{
    const std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

std::string Fixed(double value, const char* format)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

void PrintTable(const std::vector<std::string>& heads, const std::vector<std::vector<std::string>>& rows,
                std::size_t leftColumns)
{
    std::vector<std::size_t> widths;
    for (const std::string& head : heads)
        widths.push_back(head.size());
    for (const auto& row : rows) {
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    auto print = [&](const std::vector<std::string>& row) {
        for (std::size_t i = 0; i < row.size(); ++i) {
            const int width = static_cast<int>(widths[i]);
            std::printf(i == 0 ? "%-*s" : i < leftColumns ? "  %-*s" : "  %*s", width, row[i].c_str());
        }
        std::printf("\n");
    };
    print(heads);
    std::size_t total = 0;
    for (std::size_t width : widths)
        total += width + 2;
    std::printf("%s\n", std::string(total - 2, '-').c_str());
    for (const auto& row : rows)
        print(row);
}

void PrintBuildWarnings()
{
#ifndef __OPTIMIZE__
    std::printf("warning: built without optimization; the figures mean little\n");
#endif
    if (GetACP() != 932)
        std::printf("warning: the ANSI code page is %u, not 932: the Japanese words are read as single bytes\n",
                    GetACP());
}

bool CreateScratchFolder(const char* prefix, std::string* folder)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    *folder = std::string(temp) + prefix + std::to_string(GetCurrentProcessId());
    if (CreateDirectoryA(folder->c_str(), nullptr))
        return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    // Left by an earlier process that had this id (Wine hands ids out again
    // soon) and ended without its clean-up: no running process owns it, so
    // it is emptied and taken over. What cannot be deleted stays; the
    // benchmarks write every file they read first.
    RemoveFolder(*folder);
    if (CreateDirectoryA(folder->c_str(), nullptr))
        return true;
    const DWORD attributes = GetFileAttributesA(folder->c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool RemoveFolder(const std::string& folder)
{
    // The names first, then the deletions: a listing is not changed under
    // its own feet.
    std::vector<std::string> files, folders;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? folders : files).push_back(folder + "\\" + name);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    for (const std::string& file : files) {
        for (int attempt = 0; attempt < 20 && !DeleteFileA(file.c_str()); ++attempt)
            Sleep(50);
    }
    for (const std::string& inner : folders)
        RemoveFolder(inner);
    return RemoveDirectoryA(folder.c_str()) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND ||
           GetLastError() == ERROR_PATH_NOT_FOUND;
}

}  // namespace bench
