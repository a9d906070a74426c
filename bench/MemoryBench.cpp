// The launcher's memory once started and idle, beside an empty Windows
// program that shows one window.
//
// Each program runs from a scratch folder of its own: Tarnic.exe once with
// no settings file (no command registered) and once with a settings file of
// 10,000 commands beside it, whose words share their first letters (k00000
// to k09999) as in the typing tests. A start is waited for until its window
// is visible and its input idle, then left alone a moment; the working set,
// its peak and the private bytes are read, and the window is closed. The
// programs take turns; printed are the medians over the runs in KiB, and
// Tarnic's over the empty program's.
//   memory_bench [--runs N] [Tarnic.exe [empty_window.exe]]

#include "BenchSupport.h"
#include "EmptyWindow.h"
#include "ProgramCopies.h"
#include "ProgramNames.h"
#include "Settings.h"
#include "SettingsFile.h"

#include <velum/Velum.h>

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using bench::Fixed;

constexpr int kCommandCount = 10000;
constexpr DWORD kShowTimeoutMs = 60000;
// Long enough for the loop to have handled what the start posted (the
// first paint, the caret) and for Wine's threads to settle.
constexpr DWORD kIdleMs = 1500;

struct Program {
    std::string label;
    std::string folder;  // holds the copy, its DLLs and its settings
    std::string path;
    const char* windowClass;
    std::vector<double> workingSet, peak, privateBytes;  // KiB
    int failures = 0;
};

// The settings file a copy in folder reads: the name Tarnic gives it,
// without the folder of this program.
std::string SettingsPathIn(const std::string& folder)
{
    char own[MAX_PATH] = {};
    if (!GetSettingsFilePath(SETTINGS_XML, own, sizeof own))
        return std::string();
    return folder + "\\" + bench::NameOf(own);
}

bool WriteManyCommands(const std::string& folder)
{
    CSettings settings;
    for (int i = 0; i < kCommandCount; ++i) {
        char word[16];
        std::snprintf(word, sizeof word, "k%05d", i);
        CCommandLinesEx lines;
        lines.Add(std::string("\"C:\\Program Files\\") + word + "\\" + word + ".exe\" %0");
        if (settings.Commands.Insert(CCommandEntry(word, lines)) != 1)
            return false;
    }
    const std::string path = SettingsPathIn(folder);
    return !path.empty() && SaveSettingsFile(path, path + ".bak", settings);
}

bool Prepare(Program& program, const std::string& source, const std::string& folder)
{
    program.folder = folder;
    program.path = folder + "\\" + bench::NameOf(source);
    CreateDirectoryA(folder.c_str(), nullptr);
    return CopyFileA(source.c_str(), program.path.c_str(), FALSE) &&
           bench::CopyDlls(bench::FolderOf(source), folder);
}

// One start, measured while idle; false when the window never showed or
// the figures could not be read.
bool MeasureOnce(Program& program)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + program.path + "\"";
    if (!CreateProcessA(program.path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        program.folder.c_str(), &startup, &process))
        return false;
    HWND window = nullptr;
    const DWORD start = GetTickCount();
    while (window == nullptr && GetTickCount() - start < kShowTimeoutMs &&
           WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT) {
        window = bench::VisibleWindowOf(process.dwProcessId, program.windowClass, program.windowClass);
        Sleep(10);
    }
    bool measured = false;
    if (window != nullptr) {
        WaitForInputIdle(process.hProcess, kShowTimeoutMs);
        Sleep(kIdleMs);
        PROCESS_MEMORY_COUNTERS_EX counters = {};
        counters.cb = sizeof(counters);
        if (GetProcessMemoryInfo(process.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                 sizeof(counters)) &&
            counters.WorkingSetSize > 0) {
            program.workingSet.push_back(counters.WorkingSetSize / 1024.0);
            program.peak.push_back(counters.PeakWorkingSetSize / 1024.0);
            program.privateBytes.push_back(counters.PrivateUsage / 1024.0);
            measured = true;
        }
        PostMessageA(window, WM_CLOSE, 0, 0);
    }
    // Closing saves Tarnic's settings: 10,000 commands take their time.
    if (WaitForSingleObject(process.hProcess, 30000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return measured;
}

double Median(const std::vector<double>& samples)
{
    return bench::Summarize(samples).median;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> paths;
    const int runs = bench::RunsAndPaths(argc, argv, 5, &paths);
    const std::string here = bench::OwnFolder();
    const std::string defaults[] = {here + "\\..\\bin\\Tarnic.exe", here + "\\empty_window.exe"};
    for (std::size_t i = paths.size(); i < 2; ++i)
        paths.push_back(defaults[i]);

    // As the launcher sets the library up before it writes its settings.
    Velum::initialize(16, 31, 32);
    std::string scratch;
    if (!bench::CreateScratchFolder("tarnic-memory-", &scratch)) {
        std::fprintf(stderr, "cannot create %s\n", scratch.c_str());
        return 1;
    }
    std::vector<Program> programs(3);
    programs[0].label = "empty window (baseline)";
    programs[0].windowClass = kEmptyWindowClass;
    programs[1].label = "Tarnic.exe, no command";
    programs[1].windowClass = MAIN_WINDOW_CLASS;
    programs[2].label = "Tarnic.exe, " + bench::Grouped(kCommandCount) + " commands";
    programs[2].windowClass = MAIN_WINDOW_CLASS;
    const char* const sources[] = {paths[1].c_str(), paths[0].c_str(), paths[0].c_str()};
    bool ready = true;
    for (std::size_t i = 0; i < programs.size(); ++i)
        ready = Prepare(programs[i], sources[i], scratch + "\\" + std::to_string(i)) && ready;
    ready = ready && WriteManyCommands(programs[2].folder);
    if (!ready) {
        std::fprintf(stderr, "cannot prepare the programs and the settings file in %s\n", scratch.c_str());
        bench::RemoveFolder(scratch);
        return 1;
    }

    std::printf("Memory once started and idle (%u ms after input idle), KiB, median of %d runs\n",
                static_cast<unsigned>(kIdleMs), runs);
    std::fflush(stdout);
    for (int run = 0; run < runs; ++run) {
        for (Program& program : programs) {
            if (!MeasureOnce(program))
                ++program.failures;
        }
    }
    for (std::size_t i = 0; i < programs.size(); ++i)
        bench::RemoveFolder(programs[i].folder);
    bench::RemoveFolder(scratch);

    const double baseline = Median(programs[0].workingSet);
    std::vector<std::vector<std::string>> rows;
    for (const Program& program : programs) {
        const double workingSet = Median(program.workingSet);
        // Wine reads no private bytes of another process: "-" then.
        const double privateBytes = Median(program.privateBytes);
        rows.push_back({program.label, Fixed(workingSet, "%.0f"),
                        Fixed(baseline > 0 ? workingSet / baseline : 0, "%.2fx"),
                        Fixed(workingSet - baseline, "%+.0f"), Fixed(Median(program.peak), "%.0f"),
                        privateBytes > 0 ? Fixed(privateBytes, "%.0f") : "-", std::to_string(program.workingSet.size())});
    }
    std::printf("\n");
    bench::PrintTable({"program", "working set", "/ empty", "- empty", "peak working set", "private bytes", "runs"},
                      rows);
    bool complete = true;
    for (const Program& program : programs) {
        if (program.failures > 0) {
            std::printf("FAILED: %s showed no window or gave no figures %d time(s)\n", program.label.c_str(),
                        program.failures);
            complete = false;
        }
    }
    return complete ? 0 : 1;
}
