// The base command-line list: ordered lines, byte-exact comparison, and the
// forward cursor.
#include "korra/CommandLines.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

// The base is only ever used through a derived list.
class Lines : public korra::CCommandLinesA {
public:
    Lines(std::initializer_list<const char*> lines = {})
    {
        for (const char* line : lines)
            Add(line);
    }
};

TEST(CommandLinesA, ComparesByteForByte)
{
    EXPECT_TRUE(Lines({"a.exe", "b.exe"}).IsEqual(Lines({"a.exe", "b.exe"})));
    EXPECT_TRUE(Lines().IsEqual(Lines()));
    EXPECT_FALSE(Lines({"a.exe", "b.exe"}).IsEqual(Lines({"b.exe", "a.exe"})));
    EXPECT_FALSE(Lines({"a.exe"}).IsEqual(Lines({"A.exe"})));
    EXPECT_FALSE(Lines({"a.exe"}).IsEqual(Lines({"a.exe", ""})));
    EXPECT_FALSE(Lines({"a.exe"}).IsEqual(Lines({"a.exe "})));
    EXPECT_TRUE(Lines({"a.exe"}).IsNotEqual(Lines({"A.exe"})));
    EXPECT_FALSE(Lines({"x"}).IsNotEqual(Lines({"x"})));
}

TEST(CommandLinesA, EditsKeepTheOrder)
{
    Lines lines({"1", "2", "3"});
    ASSERT_EQ(3u, lines.GetCount());
    EXPECT_EQ("2", *lines.GetAt(1));
    *lines.GetAt(1) = "two";
    const Lines& constant = lines;
    EXPECT_EQ("two", *constant.GetAt(1));

    EXPECT_TRUE(lines.RemoveFirst(2));  // always the first, whatever the argument
    EXPECT_EQ(2u, lines.GetCount());
    EXPECT_EQ("two", *lines.GetAt(0));
    EXPECT_TRUE(lines.RemoveFirst(0));
    EXPECT_TRUE(lines.RemoveFirst(0));
    EXPECT_FALSE(lines.RemoveFirst(0));

    lines.Add("again");
    lines.Clear();
    EXPECT_EQ(0u, lines.GetCount());
}

TEST(CommandLinesA, CursorWalksForward)
{
    Lines lines({"first", "second"});
    std::string line = "untouched";
    EXPECT_FALSE(lines.GetNext(line));  // no MoveFirst yet
    EXPECT_EQ("untouched", line);

    lines.MoveFirst();
    ASSERT_TRUE(lines.GetNext(line));
    EXPECT_EQ("first", line);
    ASSERT_TRUE(lines.GetNext(line));
    EXPECT_EQ("second", line);
    EXPECT_FALSE(lines.GetNext(line));
    EXPECT_EQ("second", line);

    // Out keeps nothing of a longer text it held.
    line = "a text longer than either line";
    lines.MoveFirst();
    EXPECT_TRUE(lines.GetNext(line));
    EXPECT_EQ("first", line);

    // After the list shrinks under the cursor, GetNext ends rather than
    // reading past the lines.
    lines.MoveFirst();
    lines.GetNext(line);
    lines.GetNext(line);
    lines.RemoveFirst(0);
    EXPECT_FALSE(lines.GetNext(line));

    Lines copy(lines);
    EXPECT_FALSE(copy.GetNext(line));
    copy.MoveFirst();
    EXPECT_TRUE(copy.GetNext(line));
    EXPECT_EQ("second", line);
}

TEST(CommandLinesA, IconOfNoLineIsNone)
{
    HIMAGELIST list = reinterpret_cast<HIMAGELIST>(1);
    EXPECT_EQ(-1, Lines().GetIconIndex(true, false, &list));
    EXPECT_EQ(reinterpret_cast<HIMAGELIST>(1), list);  // untouched
}

}  // namespace
