#include "Environment.h"

#include "Execution.h"
#include "TextRoutines.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// The longest value Windows keeps in an environment variable, in UTF-16
// units, terminator not counted.
constexpr int kMaxValueUnits = 32766;
// A key that keeps answering "more data" after this many larger buffers is
// changing under us faster than we can read it: the refresh gives up.
constexpr int kMaxGrowths = 8;

WORD LevelOf(DWORD major, DWORD minor)
{
    if (major < 4 || (major == 4 && minor <= 71))
        return 0x400;
    if (major == 4)
        return 0x401;
    if (major == 5 && minor <= 80)
        return 0x500;
    if (major == 5 && minor == 81)
        return 0x501;
    return 0x550;
}

std::wstring Wide(const std::string& text)
{
    const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (units > 0)
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], units);
    return wide;
}

bool CanBeVariable(const std::string& name, const std::string& value)
{
    if (name.empty() || FindChar(name.c_str(), '=', 0) >= 0)
        return false;
    const int units = MultiByteToWideChar(CP_ACP, 0, value.data(), static_cast<int>(value.size()),
                                          nullptr, 0);
    return units <= kMaxValueUnits && (units > 0 || value.empty());
}

// The string values of one open key, each as a (name, value) pair in the
// order the registry gives them; REG_EXPAND_SZ values expanded against the
// process environment as it is now. False when the registry fails; values
// that cannot be variables are left out.
bool ReadValues(HKEY key, std::vector<std::pair<std::string, std::string>>* values)
{
    DWORD longestName = 0;
    DWORD longestData = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         &longestName, &longestData, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    // One byte more than each longest, for the terminator; the data buffer
    // keeps one byte more again, which the registry is never offered, so
    // that a string stored without its terminator can always be ended.
    std::vector<char> name(longestName + 1);
    std::vector<char> data(longestData + 2);
    int growths = 0;
    for (DWORD index = 0;;) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = static_cast<DWORD>(data.size() - 1);
        DWORD type = 0;
        const LONG result = RegEnumValueA(key, index, name.data(), &nameSize, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data.data()), &dataSize);
        if (result == ERROR_NO_MORE_ITEMS)
            return true;
        if (result == ERROR_MORE_DATA) {
            // The key changed since it was measured, or a double-byte name
            // needs more bytes than the characters reported: read the same
            // value again with larger buffers.
            if (++growths > kMaxGrowths)
                return false;
            name.resize(name.size() * 2);
            data.resize((dataSize + 2 > data.size() ? dataSize + 2 : data.size()) * 2);
            continue;
        }
        if (result != ERROR_SUCCESS)
            return false;
        ++index;
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            continue;
        data[dataSize] = '\0';
        std::string value(data.data());  // up to the first NUL
        if (type == REG_EXPAND_SZ) {
            std::string expanded;
            if (!TryExpandEnvironment(value.c_str(), &expanded))
                continue;
            value.swap(expanded);
        }
        std::string valueName(name.data(), nameSize);
        if (CanBeVariable(valueName, value))
            values->emplace_back(std::move(valueName), std::move(value));
    }
}

// Compares two variable names as Windows does, ignoring case through its
// own upper-case table: CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN.
// CompareStringOrdinal is looked up at run time, so that the program still
// starts on systems older than Vista, which lack it; there both names are
// folded with CharUpperBuffW, which uses the same table, and compared unit
// by unit.
int CompareNamesAsWindows(const wchar_t* a, std::size_t aLength, const wchar_t* b, std::size_t bLength)
{
    using CompareOrdinalProc = int(WINAPI*)(LPCWSTR, int, LPCWSTR, int, BOOL);
    static const CompareOrdinalProc compareOrdinal = [] {
        HMODULE kernel = GetModuleHandleA("kernel32.dll");
        return kernel != nullptr ? reinterpret_cast<CompareOrdinalProc>(reinterpret_cast<void*>(
                                       GetProcAddress(kernel, "CompareStringOrdinal")))
                                 : nullptr;
    }();
    if (compareOrdinal != nullptr)
        return compareOrdinal(a, static_cast<int>(aLength), b, static_cast<int>(bLength), TRUE);
    std::wstring upperA(a, aLength);
    std::wstring upperB(b, bLength);
    if (!upperA.empty())
        CharUpperBuffW(&upperA[0], static_cast<DWORD>(upperA.size()));
    if (!upperB.empty())
        CharUpperBuffW(&upperB[0], static_cast<DWORD>(upperB.size()));
    const int order = upperA.compare(upperB);
    return order < 0 ? CSTR_LESS_THAN : order > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}

// Whether Windows takes two names of applied and fresh for one variable
// although the map keeps them apart: it folds more letters than 'a' to 'z'
// (full-width and Greek ones, for example). Names of 'a' to 'z' and other
// ASCII alone fold alike in both, so only a name with other bytes needs the
// full look.
bool HasWindowsAliases(const EnvironmentMap& applied, const EnvironmentMap& fresh)
{
    const auto beyondAscii = [](const EnvironmentMap::value_type& entry) {
        for (const char byte : entry.first)
            if (static_cast<unsigned char>(byte) >= 0x80)
                return true;
        return false;
    };
    if (std::none_of(applied.begin(), applied.end(), beyondAscii) &&
        std::none_of(fresh.begin(), fresh.end(), beyondAscii))
        return false;
    std::vector<std::wstring> names;
    for (const auto& entry : applied)
        names.push_back(Wide(entry.first));
    for (const auto& entry : fresh)
        if (applied.find(entry.first) == applied.end())
            names.push_back(Wide(entry.first));
    const auto compare = [](const std::wstring& a, const std::wstring& b) {
        return CompareNamesAsWindows(a.data(), a.size(), b.data(), b.size());
    };
    std::sort(names.begin(), names.end(), [&](const std::wstring& a, const std::wstring& b) {
        return compare(a, b) == CSTR_LESS_THAN;
    });
    for (std::size_t i = 1; i < names.size(); ++i)
        if (compare(names[i - 1], names[i]) == CSTR_EQUAL)
            return true;
    return false;
}

// An open registry key, closed when it goes.
class OpenKey {
public:
    OpenKey(HKEY root, const char* path)
    {
        if (RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &m_key) != ERROR_SUCCESS)
            m_key = nullptr;
    }
    ~OpenKey()
    {
        if (m_key != nullptr)
            RegCloseKey(m_key);
    }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    HKEY Get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

// The process environment as it was before a refresh touched it, to put
// back what a failed refresh changed. Kept in UTF-16: the ANSI calls of some
// systems cut double-byte values short.
class EnvironmentSnapshot {
public:
    EnvironmentSnapshot()
    {
        wchar_t* block = GetEnvironmentStringsW();
        if (block == nullptr)
            return;
        const wchar_t* end = block;  // the block ends with an empty entry
        while (*end != L'\0')
            end += wcslen(end) + 1;
        m_block.assign(block, static_cast<std::size_t>(end - block));
        FreeEnvironmentStringsW(block);
    }

    // Gives name the value it had, or deletes it when it had none.
    void Restore(const std::string& name) const
    {
        const std::wstring wideName = Wide(name);
        const wchar_t* value = nullptr;
        for (std::size_t at = 0; at < m_block.size();) {
            const wchar_t* entry = m_block.c_str() + at;
            const std::size_t length = wcslen(entry);
            const wchar_t* equals = length > 0 ? wcschr(entry + 1, L'=') : nullptr;
            if (equals != nullptr &&
                CompareNamesAsWindows(entry, static_cast<std::size_t>(equals - entry), wideName.c_str(),
                                      wideName.size()) == CSTR_EQUAL) {
                value = equals + 1;
                break;
            }
            at += length + 1;
        }
        SetEnvironmentVariableW(wideName.c_str(), value);
    }

private:
    std::wstring m_block;  // entries separated by NUL
};

}  // namespace

WORD GetCommonControlsLevel()
{
    static const WORD level = [] {
        HMODULE comctl32 = GetModuleHandleA("comctl32.dll");
        if (comctl32 == nullptr)
            comctl32 = LoadLibraryA("comctl32.dll");  // stays loaded: the windows use it
        const auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
            reinterpret_cast<void*>(GetProcAddress(comctl32, "DllGetVersion")));
        DLLVERSIONINFO info = {};
        info.cbSize = sizeof info;
        if (comctl32 == nullptr || getVersion == nullptr || getVersion(&info) != S_OK)
            return static_cast<WORD>(0x400);
        return LevelOf(info.dwMajorVersion, info.dwMinorVersion);
    }();
    return level;
}

// ---------------------------------------------------------------------------
// CEnv

CEnv::CEnv() : m_version(), m_commonControlsVersion(GetCommonControlsLevel())
{
    m_version.dwOSVersionInfoSize = sizeof m_version;
    GetVersionExA(&m_version);
}

void CEnv::Assign(const CEnv& other)
{
    m_version = other.m_version;
    m_commonControlsVersion = other.m_commonControlsVersion;
}

bool CEnv::IsNT() const { return m_version.dwPlatformId == VER_PLATFORM_WIN32_NT; }

bool CEnv::IsWin32() const
{
    return m_version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ||
           m_version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// ---------------------------------------------------------------------------
// CEnvEx

bool EnvironmentNameLess::operator()(const std::string& left, const std::string& right) const
{
    const char* a = left.c_str();
    const char* b = right.c_str();
    for (;;) {
        const unsigned char x = static_cast<unsigned char>(FoldAscii(*a));
        const unsigned char y = static_cast<unsigned char>(FoldAscii(*b));
        if (x != y || x == '\0')
            return x < y;
        // Equal lead bytes: the trail bytes are compared as they are.
        if (IsLeadByteAt(a, 0) && IsLeadByteAt(b, 0)) {
            if (a[1] != b[1])
                return static_cast<unsigned char>(a[1]) < static_cast<unsigned char>(b[1]);
            ++a;
            ++b;
        }
        ++a;
        ++b;
    }
}

const EnvironmentKeys kWindowsEnvironmentKeys = {
    HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment",
    HKEY_CURRENT_USER, "Environment"};

CEnvEx::CEnvEx(const EnvironmentKeys& keys) : m_keys(keys) { RefreshEnvironment(); }

bool CEnvEx::RefreshEnvironment()
{
    if (!IsNT())
        return false;
    std::vector<std::pair<std::string, std::string>> systemValues;
    std::vector<std::pair<std::string, std::string>> userValues;
    {
        const OpenKey system(m_keys.systemRoot, m_keys.systemPath);
        const OpenKey user(m_keys.userRoot, m_keys.userPath);
        if (system.Get() == nullptr || user.Get() == nullptr)
            return false;
        if (!ReadValues(system.Get(), &systemValues) || !ReadValues(user.Get(), &userValues))
            return false;
    }

    EnvironmentMap fresh;
    for (auto& entry : systemValues)
        fresh[entry.first] = std::move(entry.second);
    for (auto& entry : userValues) {
        auto found = fresh.find(entry.first);
        if (found == fresh.end()) {
            fresh.emplace(std::move(entry.first), std::move(entry.second));
        } else if (lstrcmpiA(entry.first.c_str(), "path") == 0) {
            // The user's directories are searched after the system's. Both
            // together too long for the environment: the system's alone,
            // rather than no Path at all.
            std::string joined = found->second + ";" + entry.second;
            if (CanBeVariable(found->first, joined))
                found->second.swap(joined);
        } else {
            found->second = std::move(entry.second);
        }
    }

    // Everything read: now change the process, all of it or nothing. A value
    // the last refresh set and the registry still holds unchanged stays as
    // it is (nothing but a refresh changes the launcher's environment); what
    // the registry no longer holds goes. Where Windows takes two of the
    // names for one variable, setting or deleting one of them changes the
    // other: then every name set last time goes and every name is set again,
    // in the map's order, so the later of the two wins as it always would.
    const bool everything = HasWindowsAliases(m_applied, fresh);
    const EnvironmentSnapshot before;
    std::vector<const std::string*> touched;
    for (const auto& entry : m_applied) {
        if (everything || fresh.find(entry.first) == fresh.end()) {
            touched.push_back(&entry.first);
            SetEnvironmentVariableA(entry.first.c_str(), nullptr);
        }
    }
    for (const auto& entry : fresh) {
        const auto old = m_applied.find(entry.first);
        if (!everything && old != m_applied.end() && old->second == entry.second)
            continue;
        touched.push_back(&entry.first);
        if (!SetEnvironmentVariableA(entry.first.c_str(), entry.second.c_str())) {
            for (const std::string* name : touched)
                before.Restore(*name);
            return false;
        }
    }
    m_applied.swap(fresh);
    return true;
}

LRESULT OnEnvironmentSettingChange(CEnvEx& environment, WPARAM wParam, LPARAM lParam)
{
    const char* area = reinterpret_cast<const char*>(lParam);
    if (environment.IsNT() && wParam == 0 && area != nullptr && lstrcmpA(area, "Environment") == 0)
        environment.RefreshEnvironment();
    return 0;
}
