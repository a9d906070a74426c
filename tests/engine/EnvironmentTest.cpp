// The environment refresh against real registry keys of the test's own
// (HKCU\Software\Tarnic tests\...), changing this process's environment.
// Values are read back through the UTF-16 call: the ANSI one cuts
// double-byte values short on some systems.
#include "Environment.h"
#include "ImportSlot.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char kRoot[] = "Software\\Tarnic tests\\Environment";
const char kSystem[] = "Software\\Tarnic tests\\Environment\\System";
const char kUser[] = "Software\\Tarnic tests\\Environment\\User";
const EnvironmentKeys kTestKeys = {HKEY_CURRENT_USER, kSystem, HKEY_CURRENT_USER, kUser};

struct Value {
    std::string name;
    DWORD type;
    std::string data;
    bool terminated = true;  // stored with its NUL
};

void WriteValues(const char* path, const std::vector<Value>& values)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_WRITE,
                                             nullptr, &key, nullptr));
    for (const Value& value : values) {
        const DWORD size = static_cast<DWORD>(value.data.size() + (value.terminated ? 1 : 0));
        EXPECT_EQ(ERROR_SUCCESS,
                  RegSetValueExA(key, value.name.c_str(), 0, value.type,
                                 reinterpret_cast<const BYTE*>(value.data.c_str()), size))
            << value.name;
    }
    RegCloseKey(key);
}

void DeleteValue(const char* path, const char* name)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_SET_VALUE, &key));
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

std::wstring Wide(const std::string& ansi)
{
    wchar_t buffer[40000] = {};
    MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, buffer, 40000);
    return buffer;
}

// The process's value, "<none>" when it has none, "<error N>" when Windows
// cannot say.
std::string Variable(const std::string& name)
{
    // No more than the environment's own limit: some systems keep the size
    // in 16 bits, and a larger one wraps round.
    static wchar_t value[32767];
    SetLastError(0);
    const DWORD length = GetEnvironmentVariableW(Wide(name).c_str(), value, 32767);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND)
        return "<none>";
    if ((length == 0 && GetLastError() != 0) || length >= 32767)
        return "<error " + std::to_string(length) + " " + std::to_string(GetLastError()) + ">";
    static char ansi[80000];
    WideCharToMultiByte(CP_ACP, 0, value, -1, ansi, sizeof ansi, nullptr, nullptr);
    return ansi;
}

// Long values are told apart by their length and ends, not printed whole.
std::string Shown(const std::string& text)
{
    if (text.size() <= 80)
        return text;
    return text.substr(0, 30) + "..." + text.substr(text.size() - 30) + " (" +
           std::to_string(text.size()) + " bytes)";
}

void SetVariable(const std::string& name, const char* value)
{
    SetEnvironmentVariableW(Wide(name).c_str(), value == nullptr ? nullptr : Wide(value).c_str());
}

class EnvironmentRefresh : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, kRoot);
        WriteValues(kSystem, {});
        WriteValues(kUser, {});
        // Path and TEMP are changed by some cases: the rest of this program
        // needs them back.
        for (const char* name : {"Path", "TEMP"})
            saved.emplace_back(name, Variable(name));
    }
    void TearDown() override
    {
        RegDeleteTreeA(HKEY_CURRENT_USER, kRoot);
        for (const auto& entry : saved)
            SetVariable(entry.first, entry.second == "<none>" ? nullptr : entry.second.c_str());
    }
    std::vector<std::pair<std::string, std::string>> saved;
};

struct Case {
    const char* what;
    std::vector<Value> system;
    std::vector<Value> user;
    // Set in the process before the refresh.
    std::vector<std::pair<const char*, const char*>> before;
    // name and the value expected after it, "<none>" for absent.
    std::vector<std::pair<std::string, std::string>> expected;
};

TEST_F(EnvironmentRefresh, ReadsBothKeysIntoTheProcess)
{
    const std::string longPath = "C:\\" + std::string(4093, 'p');
    const std::string big(32000, 'b');
    const std::string tooBig(40000, 't');
    const std::string half(20000, 'h');
    const std::string japanese = Ansi("C:\\日本語\\表示");  // 表 ends in the byte of '\'
    const Case cases[] = {
        {"a user Path follows the system's after ';', one name whatever the case",
         {{"Path", REG_SZ, "C:\\A"}}, {{"PATH", REG_SZ, "C:\\B"}}, {},
         {{"Path", "C:\\A;C:\\B"}, {"PATH", "C:\\A;C:\\B"}}},
        {"a user-only path is taken without a leading ';'",
         {}, {{"path", REG_SZ, "C:\\B"}}, {{"Path", "C:\\inherited"}},
         {{"Path", "C:\\B"}}},
        {"a user TEMP replaces the system's",
         {{"TEMP", REG_SZ, "C:\\sys"}}, {{"TEMP", REG_SZ, "C:\\mine"}}, {},
         {{"TEMP", "C:\\mine"}}},
        {"REG_EXPAND_SZ expands against the environment before the refresh",
         {{"TTV_ROOT", REG_SZ, "C:\\new"}, {"TTV_DIR", REG_EXPAND_SZ, "%TTV_ROOT%\\bin"}}, {},
         {{"TTV_ROOT", "C:\\old"}},
         {{"TTV_DIR", "C:\\old\\bin"}, {"TTV_ROOT", "C:\\new"}}},
        {"other types, empty names and names with '=' are skipped, the rest is set",
         {{"TTV_DWORD", REG_DWORD, std::string("\x01\x00\x00\x00", 4), false},
          {"TTV_BINARY", REG_BINARY, "abc", false},
          {"TTV_MULTI", REG_MULTI_SZ, std::string("a\0b\0", 4)},
          {"", REG_SZ, "default value"},
          {"TTV_A=B", REG_SZ, "x"},
          {"TTV_KEPT", REG_SZ, "kept"}},
         {}, {},
         {{"TTV_DWORD", "<none>"}, {"TTV_BINARY", "<none>"}, {"TTV_MULTI", "<none>"},
          {"TTV_A", "<none>"}, {"TTV_KEPT", "kept"}}},
        {"a string stored without its NUL ends where its data ends",
         {{"TTV_A_LONG", REG_SZ, "xxxxxxxxxxxxxxxxxxxx"}, {"TTV_B_RAW", REG_SZ, "abc", false}}, {}, {},
         {{"TTV_A_LONG", "xxxxxxxxxxxxxxxxxxxx"}, {"TTV_B_RAW", "abc"}}},
        {"a 4 KB Path and a 32000-byte value arrive whole; one too long for the environment is skipped",
         {{"Path", REG_SZ, longPath}, {"TTV_BIG", REG_SZ, big}, {"TTV_TOO_BIG", REG_SZ, tooBig}},
         {{"Path", REG_EXPAND_SZ, "C:\\user"}}, {},
         {{"Path", longPath + ";C:\\user"}, {"TTV_BIG", big}, {"TTV_TOO_BIG", "<none>"}}},
        {"a REG_EXPAND_SZ longer than Windows expands, or expanding to more, is skipped, not cut",
         {{"TTV_LONG_X", REG_EXPAND_SZ, std::string(32767, 'x')},
          {"TTV_TWICE", REG_EXPAND_SZ, "%TTV_HALF%%TTV_HALF%"},
          {"TTV_DOUBLE_BYTE", REG_EXPAND_SZ, japanese + std::string(20000, 'x') + japanese}},
         {}, {{"TTV_HALF", half.c_str()}},
         {{"TTV_LONG_X", "<none>"}, {"TTV_TWICE", "<none>"},
          {"TTV_DOUBLE_BYTE", japanese + std::string(20000, 'x') + japanese}}},
        {"double-byte names and values",
         {{Ansi("TTV_名前"), REG_SZ, japanese}}, {{"TTV_X", REG_EXPAND_SZ, Ansi("%TTV_Y%\\ソ")}},
         {{"TTV_Y", "y"}},
         {{Ansi("TTV_名前"), japanese}, {"TTV_X", Ansi("y\\ソ")}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RegDeleteTreeA(HKEY_CURRENT_USER, kRoot);
        WriteValues(kSystem, c.system);
        WriteValues(kUser, c.user);
        for (const auto& variable : c.before)
            SetVariable(variable.first, variable.second);
        CEnvEx environment(kTestKeys);
        for (const auto& variable : c.expected)
            EXPECT_EQ(Shown(variable.second), Shown(Variable(variable.first))) << variable.first;
        // Only what was set is remembered: the next refresh deletes it.
        for (const auto& entry : environment.GetApplied())
            EXPECT_NE("<none>", Variable(entry.first)) << entry.first;
        for (const auto& entry : environment.GetApplied())
            SetVariable(entry.first, nullptr);
    }
}

TEST_F(EnvironmentRefresh, DeletesWhatTheRegistryNoLongerHoldsAndLeavesTheInheritedAlone)
{
    SetVariable("TTV_INHERITED", "from the parent");
    WriteValues(kUser, {{"TTV_GONE", REG_SZ, "1"}, {"TTV_STAYS", REG_SZ, "2"}});
    CEnvEx environment(kTestKeys);
    EXPECT_EQ("1", Variable("TTV_GONE"));
    DeleteValue(kUser, "TTV_GONE");
    WriteValues(kUser, {{"TTV_STAYS", REG_SZ, "3"}});
    EXPECT_TRUE(environment.RefreshEnvironment());
    EXPECT_EQ("<none>", Variable("TTV_GONE"));
    EXPECT_EQ("3", Variable("TTV_STAYS"));
    EXPECT_EQ("from the parent", Variable("TTV_INHERITED"));
    EXPECT_EQ(1u, environment.GetApplied().size());
    SetVariable("TTV_INHERITED", nullptr);
    SetVariable("TTV_STAYS", nullptr);
}

TEST_F(EnvironmentRefresh, AFailedReadChangesNothing)
{
    WriteValues(kUser, {{"TTV_SET", REG_SZ, "before"}});
    CEnvEx environment(kTestKeys);
    ASSERT_EQ("before", Variable("TTV_SET"));
    // The user key goes: the refresh cannot read it and must not delete
    // what the last one set, nor forget it.
    WriteValues(kSystem, {{"TTV_NEW", REG_SZ, "new"}});
    RegDeleteTreeA(HKEY_CURRENT_USER, kUser);
    EXPECT_FALSE(environment.RefreshEnvironment());
    EXPECT_EQ("before", Variable("TTV_SET"));
    EXPECT_EQ("<none>", Variable("TTV_NEW"));
    ASSERT_EQ(1u, environment.GetApplied().size());
    EXPECT_EQ("before", environment.GetApplied().begin()->second);
    SetVariable("TTV_SET", nullptr);
}

TEST_F(EnvironmentRefresh, NamesWindowsTakesForOneStayInStep)
{
    // ＡＢ and ａｂ are two names to the refresher, which folds 'a' to 'z'
    // only, and one to Windows. The later in the map's order, ａｂ, wins;
    // once the user's ａｂ goes, the system's ＡＢ must come back rather than
    // go with it.
    const std::string upper = Ansi("ＡＢ");
    const std::string lower = Ansi("ａｂ");
    WriteValues(kSystem, {{upper, REG_SZ, "system"}});
    WriteValues(kUser, {{lower, REG_SZ, "user"}});
    CEnvEx environment(kTestKeys);
    EXPECT_EQ("user", Variable(upper));
    DeleteValue(kUser, lower.c_str());
    EXPECT_TRUE(environment.RefreshEnvironment());
    EXPECT_EQ("system", Variable(upper));
    WriteValues(kUser, {{lower, REG_SZ, "user again"}});
    EXPECT_TRUE(environment.RefreshEnvironment());
    EXPECT_EQ("user again", Variable(lower));
    SetVariable(upper, nullptr);
}

// A value that grows between the refresher's RegQueryInfoKeyA and its
// RegEnumValueA, through hooks on this program's imports that rewrite
// TTV_GROWS in the user key with a handle of their own.
std::size_t growingLength = 0;
int growthsLeft = 0;
void* originalCall = nullptr;

void Grow()
{
    if (growthsLeft <= 0)
        return;
    --growthsLeft;
    // More than twice as long each time: more than any buffer the last
    // "more data" answer led the reader to.
    growingLength = growingLength * 2 + 64;
    WriteValues(kUser, {{"TTV_GROWS", REG_SZ, std::string(growingLength, 'g')}});
}

LONG WINAPI GrowAfterMeasuring(HKEY key, LPSTR className, LPDWORD classSize, LPDWORD reserved,
                               LPDWORD subKeys, LPDWORD longestSubKey, LPDWORD longestClass,
                               LPDWORD values, LPDWORD longestName, LPDWORD longestData,
                               LPDWORD security, PFILETIME written)
{
    const LONG result = reinterpret_cast<decltype(&RegQueryInfoKeyA)>(originalCall)(
        key, className, classSize, reserved, subKeys, longestSubKey, longestClass, values,
        longestName, longestData, security, written);
    Grow();
    return result;
}

LONG WINAPI GrowBeforeEachRead(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize,
                               LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize)
{
    Grow();
    return reinterpret_cast<decltype(&RegEnumValueA)>(originalCall)(key, index, name, nameSize,
                                                                    reserved, type, data, dataSize);
}

TEST_F(EnvironmentRefresh, AValueGrowingWhileReadIsReadWholeOrNotAtAll)
{
    struct Race {
        const char* what;
        const char* function;
        void* replacement;
        int growths;
        bool refreshes;
    } const races[] = {
        {"grown once after the key was measured: read again, whole", "RegQueryInfoKeyA",
         reinterpret_cast<void*>(&GrowAfterMeasuring), 2, true},
        {"growing before every read: the refresh gives up and changes nothing", "RegEnumValueA",
         reinterpret_cast<void*>(&GrowBeforeEachRead), 12, false},
    };
    for (const Race& race : races) {
        SCOPED_TRACE(race.what);
        growingLength = 100;
        growthsLeft = 0;
        WriteValues(kUser, {{"TTV_GROWS", REG_SZ, std::string(growingLength, 'g')}});
        CEnvEx environment(kTestKeys);
        ASSERT_EQ(std::string(100, 'g'), Variable("TTV_GROWS"));

        void** slot = FindImportSlot("advapi32.dll", race.function);
        ASSERT_NE(nullptr, slot);
        originalCall = *slot;
        WriteImportSlot(slot, race.replacement);
        growthsLeft = race.growths;
        const bool refreshed = environment.RefreshEnvironment();
        WriteImportSlot(slot, originalCall);

        EXPECT_EQ(race.refreshes, refreshed);
        const std::string expected(race.refreshes ? growingLength : 100, 'g');
        EXPECT_EQ(Shown(expected), Shown(Variable("TTV_GROWS")));
        ASSERT_EQ(1u, environment.GetApplied().size());
        EXPECT_EQ(expected.size(), environment.GetApplied().begin()->second.size());
        SetVariable("TTV_GROWS", nullptr);
    }
}

TEST_F(EnvironmentRefresh, OnlyTheExactEnvironmentBroadcastRefreshes)
{
    CEnvEx environment(kTestKeys);
    struct Message {
        WPARAM wParam;
        const char* text;
        bool refreshes;
    } const messages[] = {
        {0, "Environment", true},
        {0, "environment", false},
        {0, "ENVIRONMENT", false},
        {1, "Environment", false},
        {0, "Environment ", false},
        {0, nullptr, false},
        {0, "intl", false},
    };
    int round = 0;
    for (const Message& message : messages) {
        SCOPED_TRACE(message.text == nullptr ? "(no text)" : message.text);
        const std::string value = std::to_string(++round);
        WriteValues(kUser, {{"TTV_ROUND", REG_SZ, value}});
        EXPECT_EQ(0, OnEnvironmentSettingChange(environment, message.wParam,
                                                reinterpret_cast<LPARAM>(message.text)));
        EXPECT_EQ(message.refreshes, Variable("TTV_ROUND") == value);
    }
    SetVariable("TTV_ROUND", nullptr);
}

TEST(CommonControls, LevelIsOneOfTheKnownSteps)
{
    const WORD level = GetCommonControlsLevel();
    EXPECT_TRUE(level == 0x400 || level == 0x401 || level == 0x500 || level == 0x501 || level == 0x550)
        << std::hex << level;
    CEnv env;
    EXPECT_TRUE(env.IsNT());
    EXPECT_TRUE(env.IsWin32());
    EXPECT_EQ(level, env.GetCommonControlsVersion());
}

}  // namespace
