// How a command's lines are prepared from what was typed after its word.
#include "CommandLinesEx.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace {

CCommandLinesEx Lines(std::initializer_list<const char*> lines)
{
    CCommandLinesEx result;
    for (const char* line : lines)
        result.Add(line);
    return result;
}

using Prepared = std::vector<std::string>;

std::string WindowsDirectory()
{
    char buffer[MAX_PATH] = {};
    GetWindowsDirectoryA(buffer, MAX_PATH);
    std::string path = buffer;
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path;
}

TEST(PrepareLines, ArgumentsFillTheMacros)
{
    const CCommandLinesEx ed = Lines({"\"C:\\Tools\\edit.exe\" %0"});
    EXPECT_EQ(Prepared({"\"C:\\Tools\\edit.exe\" notes.txt"}), ed.PrepareLines("notes.txt"));
    EXPECT_EQ(Prepared({"\"C:\\Tools\\edit.exe\" "}), ed.PrepareLines(nullptr));
    EXPECT_EQ(Prepared({"\"C:\\Tools\\edit.exe\" "}), ed.PrepareLines(""));
    // A quoted argument loses its quotes.
    EXPECT_EQ(Prepared({"\"C:\\Tools\\edit.exe\" my notes.txt"}), ed.PrepareLines("\"my notes.txt\""));
}

TEST(PrepareLines, UnusedArgumentsAreAppendedToOneLineCommandsOnly)
{
    // "%0" is the first argument: argument 1 is empty, and argument 0, not
    // used by the line, is appended.
    EXPECT_EQ(Prepared({"x.exe  a"}), Lines({"x.exe %1"}).PrepareLines("a"));
    EXPECT_EQ(Prepared({"run.exe a b"}), Lines({"run.exe"}).PrepareLines("a b"));
    EXPECT_EQ(Prepared({"one.exe", "two.exe"}), Lines({"one.exe", "two.exe"}).PrepareLines("a b"));
    EXPECT_EQ(Prepared({"x.exe b a c"}), Lines({"x.exe %1"}).PrepareLines("a b c"));
    // Appending stops before the first empty argument: "%1" typed becomes "".
    EXPECT_EQ(Prepared({"x.exe a"}), Lines({"x.exe"}).PrepareLines("a %1 c"));
}

TEST(PrepareLines, ElevenArgumentsKeepTen)
{
    EXPECT_EQ(Prepared({"r.exe 0 1 2 3 4 5 6 7 8 9"}),
              Lines({"r.exe"}).PrepareLines("0 1 2 3 4 5 6 7 8 9 10 11"));
    EXPECT_EQ(Prepared({"r.exe 9-0 1 2 3 4 5 6 7 8"}),
              Lines({"r.exe %9-%0"}).PrepareLines("0 1 2 3 4 5 6 7 8 9 10"));
}

TEST(PrepareLines, TypedArgumentsExpandWithTheirOwnPreset)
{
    EXPECT_EQ(Prepared({"x.exe " + WindowsDirectory()}), Lines({"x.exe %0"}).PrepareLines("%W"));
    EXPECT_EQ(Prepared({"x.exe []"}), Lines({"x.exe [%0]"}).PrepareLines("%1"));
    EXPECT_EQ(Prepared({"x.exe a b"}), Lines({"x.exe %0"}).PrepareLines("a%_b"));
    // ソ (0x83 0x5C) in an argument survives whole.
    EXPECT_EQ(Prepared({"x.exe C:\\\x83\x5C\\f"}), Lines({"x.exe %0"}).PrepareLines("C:\\\x83\x5C\\f"));
}

TEST(PrepareLines, BlocksFollowWhetherArgumentsWereTyped)
{
    const CCommandLinesEx app = Lines({"app.exe %A-open %0%a%D-new%d", "log.exe %D-idle%d"});
    EXPECT_EQ(Prepared({"app.exe -open x", "log.exe "}), app.PrepareLines("x"));
    EXPECT_EQ(Prepared({"app.exe -new", "log.exe -idle"}), app.PrepareLines(nullptr));
}

TEST(PrepareLines, StoredLinesAreNeverChanged)
{
    const CCommandLinesEx lines = Lines({"x.exe %0"});
    lines.PrepareLines("changed");
    EXPECT_EQ("x.exe %0", *lines.GetAt(0));
}

TEST(CommandLinesEx, ComparesAndCopies)
{
    const CCommandLinesEx a = Lines({"a.exe", "b.exe"});
    CCommandLinesEx b = a;
    EXPECT_TRUE(a.IsEqual(b));
    EXPECT_FALSE(a.IsNotEqual(b));
    b.Add("c.exe");
    EXPECT_FALSE(a.IsEqual(b));
    EXPECT_TRUE(a.IsNotEqual(b));
    EXPECT_TRUE(Lines({"A.exe"}).IsNotEqual(Lines({"a.exe"})));

    // A copy's cursor is unset until MoveFirst.
    CCommandLinesEx source = Lines({"1", "2"});
    source.MoveFirst();
    CCommandLinesEx copy = source;
    std::string line;
    EXPECT_FALSE(copy.GetNext(line));
    copy.MoveFirst();
    EXPECT_TRUE(copy.GetNext(line));
    EXPECT_EQ("1", line);

    // Deleting through the derived type frees the lines.
    delete new CCommandLinesEx(source);
}

}  // namespace
