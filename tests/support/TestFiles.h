// Files and folders for the Windows tests.
#pragma once

#include <string>
#include <vector>

// UTF-8 text of a test converted to the ANSI code page (932 here).
std::string Ansi(const char* utf8);

// Folder of the running test program, ending in a backslash.
std::string ProgramFolder();

// A new, empty folder under the temporary folder (removed first if present).
std::string FreshTempFolder(const std::string& name);

// The whole file, or "" when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// Waits up to timeoutMs for path to hold at least `count` records of the
// recorder helper; returns its text (what is there at the deadline).
std::string WaitForRecords(const std::string& path, int count, int timeoutMs = 20000);

// The records the recorder helper wrote: command line, current folder and
// the TARNIC_PROBE variable of each run.
struct RecordedRun {
    std::string commandLine;
    std::string currentFolder;
    std::string probe;
};
std::vector<RecordedRun> ParseRecords(const std::string& text);

// The command lines of runs in sorted order: programs started one after the
// other write their records in whatever order they get to it.
std::vector<std::string> SortedCommandLines(const std::vector<RecordedRun>& runs);
