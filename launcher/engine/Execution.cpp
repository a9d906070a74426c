#include "Execution.h"

#include "Macros.h"
#include "SearchPath.h"
#include "TextRoutines.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

bool TryExpandEnvironment(const char* text, std::string* expanded)
{
    // Nothing to expand: the text needs neither Windows nor the conversions
    // (most command lines and icons come this way).
    if (std::strchr(text, '%') == nullptr) {
        expanded->assign(text);
        return true;
    }
    // Expanded in UTF-16, where Windows measures its limit of 32767 units
    // (terminator counted) for the text and for the result. Its ANSI call
    // reports success with an empty, cut or garbled result past that limit,
    // and its sizes count characters, not bytes, for double-byte text.
    constexpr int kLimit = 32767;
    const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 0 || units > kLimit)
        return false;
    std::vector<wchar_t> wide(static_cast<std::size_t>(units));
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units);
    // Most texts expand to a few hundred units: the icon of every listed
    // candidate comes through here, so the whole limit is asked for only
    // when the first buffer is too small.
    std::vector<wchar_t> result(static_cast<std::size_t>(std::min(kLimit, units * 2 + 260)));
    DWORD needed = ExpandEnvironmentStringsW(wide.data(), result.data(), static_cast<DWORD>(result.size()));
    if (needed > result.size() && needed <= static_cast<DWORD>(kLimit)) {
        result.resize(kLimit);
        needed = ExpandEnvironmentStringsW(wide.data(), result.data(), kLimit);
    }
    if (needed == 0 || needed > result.size())
        return false;  // too long for one environment string: nothing is cut
    const int bytes = WideCharToMultiByte(CP_ACP, 0, result.data(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return false;
    std::vector<char> ansi(static_cast<std::size_t>(bytes));
    WideCharToMultiByte(CP_ACP, 0, result.data(), -1, ansi.data(), bytes, nullptr, nullptr);
    expanded->assign(ansi.data());  // everything before the first NUL
    return true;
}

std::string ExpandEnvironment(const char* text)
{
    std::string expanded;
    return TryExpandEnvironment(text, &expanded) ? expanded : std::string(text);
}

namespace {

BOOL StartProcess(const std::string& commandLine)
{
    std::vector<char> writable(commandLine.begin(), commandLine.end());
    writable.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const DWORD creation = CREATE_DEFAULT_ERROR_MODE | CREATE_BREAKAWAY_FROM_JOB |
                           CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS;
    const BOOL started = CreateProcessA(nullptr, writable.data(), nullptr, nullptr, FALSE, creation,
                                        nullptr, nullptr, &startup, &process);
    if (started) {
        // We neither wait for the program nor keep its handles.
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    return started;
}

BOOL OpenWithShell(const std::string& text)
{
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.lpFile = text.c_str();
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExA(&info);
}

BOOL StartForReal(const std::string& text, bool exe)
{
    return exe ? StartProcess(text) : OpenWithShell(text);
}

CommandLineStarter g_starter = &StartForReal;

}  // namespace

void SetCommandLineStarter(CommandLineStarter starter)
{
    g_starter = starter != nullptr ? starter : &StartForReal;
}

BOOL RunCommandLine(const char* line)
{
    if (line == nullptr)
        return FALSE;
    const std::string expanded = ExpandEnvironment(line);
    const std::size_t start = expanded.find_first_not_of(" \t");
    if (start == std::string::npos)
        return FALSE;
    const std::string text = expanded.substr(start);
    return g_starter(text, NamesExeProgram(text.c_str()));
}

namespace {

// -1 when Windows has no icon for path. A call that fails may still have
// written an index (Wine writes 0), so its result decides.
int SystemIconOf(const std::string& path, UINT flags, HIMAGELIST* imageList)
{
    SHFILEINFOA info = {};
    info.iIcon = -1;
    const DWORD_PTR list = SHGetFileInfoA(path.c_str(), 0, &info, sizeof info, flags);
    if (imageList != nullptr)
        *imageList = reinterpret_cast<HIMAGELIST>(list);
    return list != 0 ? info.iIcon : -1;
}

// The variable's value in the ANSI code page, or "" when it is not set.
// Read through the W call: Wine's A call cuts a double-byte value short.
std::string ReadEnvironmentVariable(const wchar_t* name)
{
    std::vector<wchar_t> value(GetEnvironmentVariableW(name, nullptr, 0) + 1);
    for (;;) {
        const DWORD got = GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
        if (got == 0)
            return std::string();
        if (got < value.size())
            break;
        value.resize(got + 1);  // it grew meanwhile
    }
    const int size = WideCharToMultiByte(CP_ACP, 0, value.data(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string text(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, value.data(), -1, &text[0], size, nullptr, nullptr);
    text.resize(static_cast<std::size_t>(size) - 1);
    return text;
}

}  // namespace

int FindProgramIcon(const std::string& program, bool smallIcon, bool selected,
                    HIMAGELIST* imageList)
{
    UINT flags = SHGFI_SYSICONINDEX;
    if (smallIcon)
        flags |= SHGFI_SMALLICON;
    if (selected)
        flags |= SHGFI_SELECTED;

    int icon = SystemIconOf(program, flags, imageList);
    if (icon != -1)
        return icon;

    for (const std::string& candidate : ProgramPathCandidates(ReadEnvironmentVariable(L"PATH"), program)) {
        icon = SystemIconOf(candidate, flags, imageList);
        if (icon != -1)
            return icon;
    }
    return -1;
}
