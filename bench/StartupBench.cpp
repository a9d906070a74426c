// How long Tarnic takes from the start of its process to its input window
// on the screen, beside an empty Windows program that shows one window.
//
// Each program is started with CreateProcess from a fresh folder holding
// it and its DLLs (so no settings or files of a build tree are found), and
// this program looks for its window every millisecond: the time is from
// just before CreateProcess to the first look that finds the window of that
// process visible. The window is then sent WM_CLOSE, which ends either
// program, and the process is waited for before the next start.
//
// The programs take turns, one warm-up start each first, so that machine
// noise falls on all of them alike. Printed: median, minimum and 90th
// percentile (nearest rank) in milliseconds, each median over the empty
// program's (the target is judged on these) and each minimum over its.
//   startup_bench [--runs N] [Tarnic.exe [empty_window.exe [empty_window_dlls.exe]]]
// Without paths: bin\Tarnic.exe of the build tree and the two empty
// programs beside this one.

#include "BenchSupport.h"
#include "ProgramCopies.h"
#include "EmptyWindow.h"
#include "ProgramNames.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using bench::Fixed;
using bench::NowMs;
using bench::RemoveFolder;
using bench::CopyDlls;
using bench::FolderOf;
using bench::NameOf;
using bench::OwnFolder;
using bench::VisibleWindowOf;

constexpr double kTargetRatio = 1.5;
constexpr double kGiveUpMs = 30000;

struct Program {
    std::string label;
    std::string source;  // where it was built
    std::string path;    // the copy that runs
    const char* windowClass;
    const char* windowTitle;
    std::vector<double> samples;
    int failures = 0;
};

// One start: the milliseconds to the visible window, or a negative value
// when the program ended first or never showed it.
double StartOnce(const Program& program, const std::string& folder)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::string commandLine = "\"" + program.path + "\"";

    const double start = NowMs();
    if (!CreateProcessA(program.path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                        folder.c_str(), &startup, &process))
        return -1;
    double elapsed = -1;
    HWND window = nullptr;
    for (;;) {
        window = VisibleWindowOf(process.dwProcessId, program.windowClass, program.windowTitle);
        const double now = NowMs();
        if (window != nullptr) {
            elapsed = now - start;
            break;
        }
        if (now - start > kGiveUpMs || WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0)
            break;
        Sleep(1);
    }

    if (window != nullptr)
        PostMessageA(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
        elapsed = -1;  // a program that will not close is not a clean sample
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return elapsed;
}

// The figures of one program's samples, with the 90th percentile.
bench::Stats Summarize(const std::vector<double>& samples)
{
    return bench::Summarize(samples, 90);
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> paths;
    const int runs = bench::RunsAndPaths(argc, argv, 15, &paths);
    const std::string here = OwnFolder();
    const std::string defaults[] = {here + "\\..\\bin\\Tarnic.exe", here + "\\empty_window.exe",
                                    here + "\\empty_window_dlls.exe"};
    for (std::size_t i = paths.size(); i < 3; ++i)
        paths.push_back(defaults[i]);

    std::vector<Program> programs = {
        {"empty window (baseline)", paths[1], "", kEmptyWindowClass, kEmptyWindowClass, {}, 0},
        {"empty window + Tarnic's DLLs", paths[2], "", kEmptyWindowClass, kEmptyWindowClass, {}, 0},
        {"Tarnic.exe", paths[0], "", MAIN_WINDOW_CLASS, MAIN_WINDOW_CLASS, {}, 0},
    };

    std::string folder;
    if (!bench::CreateScratchFolder("tarnic-startup-", &folder)) {
        std::fprintf(stderr, "cannot create %s\n", folder.c_str());
        return 1;
    }
    bool copied = true;
    for (Program& program : programs) {
        program.path = folder + "\\" + NameOf(program.source);
        copied = CopyFileA(program.source.c_str(), program.path.c_str(), FALSE) && copied;
        copied = CopyDlls(FolderOf(program.source), folder) && copied;
        if (!copied) {
            std::fprintf(stderr, "cannot copy %s and its DLLs into %s\n", program.source.c_str(), folder.c_str());
            RemoveFolder(folder);
            return 1;
        }
    }

    std::printf("Start-up: process start to visible input window, ms, %d runs each after one warm-up\n", runs);
    std::printf("target: Tarnic within %.1fx the empty window's median\n", kTargetRatio);
    std::fflush(stdout);

    for (int run = 0; run <= runs; ++run) {
        for (Program& program : programs) {
            const double ms = StartOnce(program, folder);
            if (ms < 0)
                ++program.failures;
            else if (run > 0)
                program.samples.push_back(ms);
        }
    }
    RemoveFolder(folder);

    const bench::Stats empty = Summarize(programs.front().samples);
    const double baseline = empty.median;
    std::vector<std::vector<std::string>> rows;
    for (const Program& program : programs) {
        const bench::Stats stats = Summarize(program.samples);
        rows.push_back({program.label, Fixed(stats.median, "%.1f"), Fixed(stats.min, "%.1f"),
                        Fixed(stats.percentile, "%.1f"), Fixed(baseline > 0 ? stats.median / baseline : 0, "%.2fx"),
                        Fixed(empty.min > 0 ? stats.min / empty.min : 0, "%.2fx"),
                        std::to_string(program.samples.size())});
    }
    std::printf("\n");
    bench::PrintTable({"program", "median", "min", "p90", "median / empty", "min / empty", "runs"}, rows);

    bool complete = true;
    for (const Program& program : programs) {
        if (program.failures > 0) {
            std::printf("FAILED STARTS: %s did not show its window or did not close %d time(s)\n",
                        program.label.c_str(), program.failures);
            complete = false;
        }
    }
    // The medians are what the target names; the minima are printed beside
    // them because on a shared machine the medians follow its load.
    const bench::Stats tarnic = Summarize(programs.back().samples);
    const double medianRatio = baseline > 0 ? tarnic.median / baseline : 0;
    const double minRatio = empty.min > 0 ? tarnic.min / empty.min : 0;
    auto verdict = [&](double ratio) { return complete && ratio > 0 && ratio <= kTargetRatio ? "met" : "MISSED"; };
    std::printf("target (Tarnic within %.1fx the empty window): %s by the medians (%.2fx), %s by the minima (%.2fx)\n",
                kTargetRatio, verdict(medianRatio), medianRatio, verdict(minRatio), minRatio);
    return complete ? 0 : 1;
}
