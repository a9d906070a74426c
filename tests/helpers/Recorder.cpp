// A stand-in program for the tests of starting command lines: it appends
// its command line, current folder, the TARNIC_PROBE variable and PATH to the
// file named by TARNIC_RECORD_FILE, as one record ending in "--end--". When
// TARNIC_RECORD_DELAY holds a number of milliseconds it waits that long
// first, so that a test can make programs it started earlier write later.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

// Through the W call and converted here: Wine's A call cuts double-byte
// values short.
std::string Variable(const wchar_t* name)
{
    static wchar_t value[32768];
    const DWORD length = GetEnvironmentVariableW(name, value, 32768);
    if (length == 0 || length >= 32768)
        return std::string();
    static char ansi[65536];
    WideCharToMultiByte(CP_ACP, 0, value, -1, ansi, sizeof ansi, nullptr, nullptr);
    return ansi;
}

}  // namespace

int main()
{
    const std::string file = Variable(L"TARNIC_RECORD_FILE");
    if (file.empty())
        return 2;
    const std::string delay = Variable(L"TARNIC_RECORD_DELAY");
    if (!delay.empty())
        Sleep(static_cast<DWORD>(std::strtoul(delay.c_str(), nullptr, 10)));
    char folder[32768] = {};
    GetCurrentDirectoryA(sizeof folder, folder);
    const std::string record = std::string("command line: ") + GetCommandLineA() + "\n" +
                               "current folder: " + folder + "\n" +
                               "probe: " + Variable(L"TARNIC_PROBE") + "\n" +
                               "path: " + Variable(L"PATH") + "\n" + "--end--\n";
    // One write in append mode, so that records of programs started together
    // never interleave.
    HANDLE out = CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return 3;
    DWORD written = 0;
    WriteFile(out, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(out);
    return 0;
}
