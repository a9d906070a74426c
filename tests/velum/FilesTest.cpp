// The file functions: creation modes, access, and byte-range locks between
// handles and (on Windows) between processes.
#include "TempFile.h"
#include "VelumTest.h"

#include <gtest/gtest.h>

#include <string>

using namespace Velum;

namespace {

const int SHARED = 1, EXCLUSIVE = 2, AT_ONCE = 4, RELEASE = 8;

}  // namespace

TEST(Files, CreationModes)
{
    struct Case {
        int flags;
        bool existsBefore;
        bool opens;
        const char* contentAfter;  // null: the file must not exist
    } cases[] = {
        {0x13, false, false, nullptr},
        {0x13, true, true, "old"},
        {0x22, false, true, ""},
        {0x22, true, true, ""},
        {0x21, false, true, ""},
        {0x21, true, false, "old"},
        {0x30, true, false, "old"},
        {0x34, true, false, "old"},
        {0x3F, false, false, nullptr},
    };
    for (const Case& c : cases) {
        const std::string path = TempPath("mode.bin");
        if (c.existsBefore)
            WriteBytes(path, "old");
        void* file = openFile(path.c_str(), c.flags);
        EXPECT_EQ(file != nullptr, c.opens) << "flags 0x" << std::hex << c.flags << " exists " << c.existsBefore;
        if (file != nullptr) {
            EXPECT_TRUE(closeFile(file));
        }
        EXPECT_EQ(std::filesystem::exists(path), c.contentAfter != nullptr) << "flags 0x" << std::hex << c.flags;
        if (c.contentAfter != nullptr) {
            EXPECT_EQ(ReadBytes(path), c.contentAfter) << "flags 0x" << std::hex << c.flags;
        }
    }
    EXPECT_EQ(openFile(static_cast<const char*>(nullptr), 0x22), nullptr);
    EXPECT_EQ(openFile(static_cast<const Velum_CHAR*>(nullptr), 0x22), nullptr);
    EXPECT_FALSE(lockFile(nullptr, EXCLUSIVE));
    EXPECT_FALSE(closeFile(nullptr));
}

TEST(Files, WidePathReachesTheNamedFile)
{
    const std::string narrow = TempPath("wide");
    const std::u16string name = std::filesystem::path(narrow).u16string() + u"-\u65E5\u00E9.xml";
    void* file = openFile(U(name.c_str()), 0x22);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(serialize(createDocument(U(u"1.0"), U(u"r"), U(u"")), 1, file));
    EXPECT_TRUE(closeFile(file));
    const std::filesystem::path path(name);
    EXPECT_EQ(std::filesystem::file_size(path), 43u);
    std::filesystem::remove(path);
}

TEST(Files, LocksConflictBetweenHandles)
{
    // Two handles of one process conflict as two processes would.
    const std::string path = TempPath("locks.bin");
    void* first = openFile(path.c_str(), 0x32);
    void* second = openFile(path.c_str(), 0x33);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);

    struct Step {
        void* file;
        int flags;
        bool result;
    } steps[] = {
        {first, 0, true},  // no kind: nothing to lock
        {first, SHARED, true},
        {second, SHARED | AT_ONCE, true},
        {second, RELEASE, true},
        {second, EXCLUSIVE | AT_ONCE, false},
        {first, RELEASE, true},
        {first, EXCLUSIVE, true},
        {second, SHARED | AT_ONCE, false},
        {first, RELEASE, true},
        {second, EXCLUSIVE | AT_ONCE, true},
        {first, SHARED | AT_ONCE, false},
    };
    int index = 0;
    for (const Step& s : steps)
        EXPECT_EQ(lockFile(s.file, s.flags), s.result) << "step " << index++;

    // Closing releases the lock.
    EXPECT_TRUE(closeFile(second));
    EXPECT_TRUE(lockFile(first, EXCLUSIVE | AT_ONCE));
    EXPECT_TRUE(closeFile(first));
}

#if defined(_WIN32)

namespace {

std::string ProgramFolder()
{
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of('\\') + 1);
}

}  // namespace

TEST(Files, SharedLockOfAnotherProcessBlocksExclusiveOnly)
{
    const std::string path = TempPath("process-lock.bin");
    WriteBytes(path, "data");
    const std::string tag = std::to_string(GetCurrentProcessId());
    const std::string readyName = "velum-lock-ready-" + tag, releaseName = "velum-lock-release-" + tag;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, readyName.c_str());
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, releaseName.c_str());
    ASSERT_TRUE(ready && release);

    std::string command = "\"" + ProgramFolder() + "velum_lock_holder.exe\" \"" + path + "\" " + readyName + " " +
                          releaseName;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                               &process));
    // Whichever comes first: the helper holds its lock, or it gave up.
    HANDLE waits[] = {ready, process.hProcess};
    const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, 30000);
    EXPECT_EQ(woke, WAIT_OBJECT_0);

    void* file = openFile(path.c_str(), 0x33);
    ASSERT_NE(file, nullptr);
    const DWORD before = GetTickCount();
    EXPECT_FALSE(lockFile(file, EXCLUSIVE | AT_ONCE));
    EXPECT_LT(GetTickCount() - before, 2000u);
    EXPECT_TRUE(lockFile(file, SHARED | AT_ONCE));
    EXPECT_TRUE(lockFile(file, RELEASE));

    SetEvent(release);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(lockFile(file, EXCLUSIVE | AT_ONCE));
    EXPECT_TRUE(closeFile(file));

    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(ready);
    CloseHandle(release);
}

#endif
