// The Windows version snapshot (CEnv) and the refresher that keeps the
// launcher's own environment in step with the one stored in the registry
// (CEnvEx), so that programs started weeks after the launcher see the
// variables the user has changed since.
#pragma once

#include <windows.h>

#include <map>
#include <string>

// The common-controls level that comctl32 reports through DllGetVersion:
// 0x400 up to 4.71, 0x401 for 4.72, 0x500 up to 5.80, 0x501 for 5.81, 0x550
// later; 0x400 when comctl32 has no DllGetVersion. Asked once per process.
WORD GetCommonControlsLevel();

class CEnv {
public:
    // Takes the snapshot of the running system.
    CEnv();
    virtual ~CEnv() = default;

    virtual void Assign(const CEnv& other);
    // The NT family: the only one whose environment lives in the registry.
    virtual bool IsNT() const;
    // The 95 or the NT family.
    virtual bool IsWin32() const;

    const OSVERSIONINFOA& GetVersion() const { return m_version; }
    WORD GetCommonControlsVersion() const { return m_commonControlsVersion; }

protected:
    OSVERSIONINFOA m_version;
    WORD m_commonControlsVersion;
};

// Name order of the environment: the bytes 'a' to 'z' fold to capitals
// ("Path" and "PATH" are one name); a double-byte character is compared as a
// whole, so its second byte never folds.
struct EnvironmentNameLess {
    bool operator()(const std::string& left, const std::string& right) const;
};

using EnvironmentMap = std::map<std::string, std::string, EnvironmentNameLess>;

// Where the refresher reads the system's and the user's variables. The
// launcher reads the real keys; tests and benchmarks point it elsewhere.
struct EnvironmentKeys {
    HKEY systemRoot;
    const char* systemPath;
    HKEY userRoot;
    const char* userPath;
};
extern const EnvironmentKeys kWindowsEnvironmentKeys;

class CEnvEx : public CEnv {
public:
    // Refreshes once at once; a failed first refresh leaves the inherited
    // environment as it is.
    explicit CEnvEx(const EnvironmentKeys& keys = kWindowsEnvironmentKeys);

    // Reads the system variables, then the user's over them (a user Path is
    // appended to the system Path after ";"), expands REG_EXPAND_SZ values
    // against the environment as it is now, and makes the process
    // environment hold them. What an earlier refresh set and the registry no
    // longer holds is deleted, what it set and still holds unchanged is left
    // as it is; what the launcher inherited and the registry never named is
    // left alone.
    // False, with the process environment and the record of what was set
    // exactly as before, outside the NT family, when a key cannot be read,
    // or when Windows refuses a variable (what was changed is put back).
    // Values that cannot be environment variables are skipped: other types
    // than REG_SZ and REG_EXPAND_SZ, empty names or names with "=", values
    // too long for the environment or that cannot be expanded.
    virtual bool RefreshEnvironment();

    // What the last successful refresh set.
    const EnvironmentMap& GetApplied() const { return m_applied; }

private:
    EnvironmentKeys m_keys;
    EnvironmentMap m_applied;
};

// The input window's WM_SETTINGCHANGE: a refresh for the broadcast whose
// wParam is 0 and whose lParam is exactly "Environment" (case counts), on
// the NT family. Returns the message's result, always 0.
LRESULT OnEnvironmentSettingChange(CEnvEx& environment, WPARAM wParam, LPARAM lParam);
