#include "AutoStart.h"

#include "ProgramPath.h"

#include "ResourceMessage.h"
#include "TextRoutines.h"
#include "resource.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>

namespace {

const char kShortcutName[] = "Pellor.lnk";
const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kStartupValue[] = "Startup";
const char kStartupSwitch[] = "/startup";

// The longest path the ANSI file calls take, without its terminator.
constexpr std::size_t kLongestPath = MAX_PATH - 1;

using SpecialFolderPathA = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);

// A string-table entry of the program, whole; "" when missing.
std::string LoadResourceString(UINT id)
{
    std::string text(256, '\0');
    for (;;) {
        const int length = LoadStringA(GetModuleHandleA(nullptr), id, &text[0], static_cast<int>(text.size()));
        if (length <= 0)
            return std::string();
        // A text that fills the buffer may have been cut.
        if (static_cast<std::size_t>(length) + 1 < text.size()) {
            text.resize(static_cast<std::size_t>(length));
            return text;
        }
        text.resize(text.size() * 2);
    }
}

// ANSI text in UTF-16, as IPersistFile takes file names; "" when it does not
// convert.
std::wstring Widen(const std::string& text)
{
    const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (size <= 0)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    if (MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], size) != size)
        return std::wstring();
    wide.resize(static_cast<std::size_t>(size) - 1);
    return wide;
}

// Owns one reference to a COM interface.
template <class Interface>
class CComReference {
public:
    CComReference() = default;
    CComReference(const CComReference&) = delete;
    CComReference& operator=(const CComReference&) = delete;
    ~CComReference()
    {
        if (m_p != nullptr)
            m_p->Release();
    }

    Interface* operator->() const { return m_p; }
    void** Receive() { return reinterpret_cast<void**>(&m_p); }

private:
    Interface* m_p = nullptr;
};

// COM on this thread for one scope. S_FALSE (already initialised) counts as
// entered and is balanced like any other success.
class CComScope {
public:
    CComScope() : m_entered(SUCCEEDED(CoInitialize(nullptr))) {}
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;
    ~CComScope()
    {
        if (m_entered)
            CoUninitialize();
    }

    bool Entered() const { return m_entered; }

private:
    const bool m_entered;
};

// Writes a shortcut to this program, started with the startup switch, at
// path. Any step that fails ends it without a word: the caller sees the
// result on the next presence check.
void CreateShortcut(const std::string& path)
{
    const CComScope com;
    if (!com.Entered())
        return;
    // Declared after the scope: both are released before COM is left.
    CComReference<IShellLinkA> link;
    CComReference<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                link.Receive())) ||
        FAILED(link->QueryInterface(IID_IPersistFile, file.Receive())))
        return;

    const std::string program = GetProgramPath();
    const std::string description = LoadResourceString(IDS_AUTOSTART_DESCRIPTION);
    const std::string workingFolder = ShortcutWorkingFolder(program);
    const std::wstring widePath = Widen(path);
    if (FAILED(link->SetPath(program.c_str())) || FAILED(link->SetDescription(description.c_str())) ||
        FAILED(link->SetArguments(kStartupSwitch)) ||
        FAILED(link->SetWorkingDirectory(workingFolder.c_str())) ||
        FAILED(link->SetIconLocation(program.c_str(), 0)) || FAILED(link->SetShowCmd(SW_SHOWNORMAL)))
        return;
    file->Save(widePath.c_str(), TRUE);
}

}  // namespace

std::string GetStartupFolder()
{
    // Looked up at run time: older shells do not export the call and keep the
    // folder only in the registry. This library links shell32, so the module
    // is loaded whenever this code runs.
    const HMODULE shell = GetModuleHandleA("shell32.dll");
    const auto specialFolderPath =
        shell == nullptr ? nullptr
                         : reinterpret_cast<SpecialFolderPathA>(
                               reinterpret_cast<void*>(GetProcAddress(shell, "SHGetSpecialFolderPathA")));
    if (specialFolderPath == nullptr)
        return StartupFolderFromRegistry();
    // The call writes at most MAX_PATH bytes, its terminator included.
    std::string folder(MAX_PATH, '\0');
    if (!specialFolderPath(nullptr, &folder[0], CSIDL_STARTUP, FALSE))
        return std::string();
    folder.resize(std::strlen(folder.c_str()));
    return folder;
}

std::string StartupFolderFromRegistry()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::string();
    std::string value;
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, kStartupValue, nullptr, nullptr, nullptr, &size);
    // The value may grow between asking its size and reading it; the second
    // answer then carries the new size.
    for (int attempt = 0; attempt < 4 && (result == ERROR_SUCCESS || result == ERROR_MORE_DATA);
         ++attempt) {
        value.assign(size, '\0');
        DWORD got = size;
        result = RegQueryValueExA(key, kStartupValue, nullptr, &type,
                                  reinterpret_cast<BYTE*>(value.data()), &got);
        if (result == ERROR_SUCCESS)
            break;
        size = got;
    }
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ)
        return std::string();
    // A stored string need not carry its terminator, or may carry several.
    value.resize(std::strlen(value.c_str()));
    return value;
}

std::string GetAutoStartShortcutPath()
{
    return AutoStartShortcutPathIn(GetStartupFolder());
}

std::string AutoStartShortcutPathIn(const std::string& folder)
{
    if (folder.empty())
        return std::string();
    std::string path = folder;
    if (!EndsWithChar(path, '\\'))
        path += '\\';
    path += kShortcutName;
    if (path.size() > kLongestPath)
        return std::string();
    return path;
}

std::string ShortcutWorkingFolder(const std::string& programPath)
{
    const int cut = FindLastChar(programPath.c_str(), '\\', 0);
    std::string folder = cut >= 0 ? programPath.substr(0, static_cast<std::size_t>(cut)) : programPath;
    // "C:" alone would mean the drive's current folder, not its root.
    if (FindLastChar(folder.c_str(), '\\', 0) < 0)
        folder += '\\';
    return folder;
}

bool IsAutoStartShortcutPresent()
{
    const std::string path = GetAutoStartShortcutPath();
    if (path.empty())
        return false;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

void SyncAutoStartShortcut(const CSettings& settings)
{
    SyncAutoStartShortcutIn(GetStartupFolder(), settings);
}

void SyncAutoStartShortcutIn(const std::string& folder, const CSettings& settings)
{
    const std::string path = AutoStartShortcutPathIn(folder);
    if (path.empty()) {
        ShowResourceMessage(GetModuleHandleA(nullptr), nullptr, IDS_AUTOSTART_FAILED, MB_ICONEXCLAMATION, 0);
        return;
    }
    // Starting at log-on only makes sense for a launcher that stays resident.
    const bool wanted = settings.AutoStart && settings.Stationed;
    WIN32_FIND_DATAA found;
    const HANDLE search = FindFirstFileA(path.c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        // A folder of that name fails to delete and stays: nothing to report.
        if (!wanted)
            DeleteFileA(path.c_str());
        FindClose(search);
        return;
    }
    if (wanted)
        CreateShortcut(path);
}
