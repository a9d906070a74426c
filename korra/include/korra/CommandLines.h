// The ordered command lines of one registered command.
#pragma once

#include "korra/SmallBlocks.h"

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <string>
#include <vector>

namespace korra {

// One command line's bytes. Its buffer comes from the small blocks like the
// list's array: a table of thousands of commands holds tens of thousands of
// lines, and one heap call each would cost the settings reader more than
// all its other work on them.
using LineA = std::basic_string<char, std::char_traits<char>, SmallBlockAllocator<char>>;

// The line as a plain string, for callers that pass it on.
inline std::string ToString(const LineA& line)
{
    return std::string(line.data(), line.size());
}

// A line and a plain string compare byte for byte (found through the
// allocator's namespace).
inline bool operator==(const LineA& line, const std::string& text)
{
    return line.size() == text.size() && line.compare(0, line.size(), text.data(), text.size()) == 0;
}
inline bool operator==(const std::string& text, const LineA& line)
{
    return line == text;
}
inline bool operator!=(const LineA& line, const std::string& text)
{
    return !(line == text);
}
inline bool operator!=(const std::string& text, const LineA& line)
{
    return !(line == text);
}

// The lines are owned by the list and compare byte for byte. The virtual
// operations are declared in the order of their table slots; derived lists
// (CCommandLinesEx) add theirs after these.
class CCommandLinesA {
public:
    CCommandLinesA() = default;
    // A copy has every line; its cursor is unset until MoveFirst.
    CCommandLinesA(const CCommandLinesA& other) : m_lines(other.m_lines) {}
    CCommandLinesA& operator=(const CCommandLinesA& other)
    {
        m_lines = other.m_lines;
        m_cursor = kNoCursor;
        return *this;
    }

    // Same number of lines, each equal to the line at the same position.
    virtual bool IsEqual(const CCommandLinesA& other) const;
    virtual bool IsNotEqual(const CCommandLinesA& other) const;
    virtual void Clear();
    virtual void Add(const std::string& line);
    // Removes the first line whatever position says; false when empty.
    virtual bool RemoveFirst(int position);
    // No bounds check: callers test index against GetCount first.
    virtual LineA* GetAt(std::size_t index);
    virtual const LineA* GetAt(std::size_t index) const;
    virtual std::size_t GetCount() const;
    virtual void MoveFirst();
    // Room for count lines, so that a reader that knows how many are coming
    // adds them without the list growing step by step. Not a slot.
    void Reserve(std::size_t count) { m_lines.reserve(count); }
    // Copies the line at the cursor to out and advances; false at the end
    // (and before the first MoveFirst).
    virtual bool GetNext(std::string& out);
    // Index in the system image list of the icon of the first line's program,
    // looked up along PATH when the program is not found as written; -1 when
    // there is no line or no icon. *imageList, when given, gets the system
    // image list.
    virtual int GetIconIndex(bool smallIcon, bool selected, HIMAGELIST* imageList) const;
    // Starts every line as it is, in order, showing nothing on failure.
    // Always false.
    virtual bool Execute();

protected:
    // Lists are never deleted through this base: the derived list owns the
    // virtual destructor.
    ~CCommandLinesA() = default;

    // The icon of the first line's program after the line is made ready for
    // lookup (derived lists expand their macros first).
    int LookUpIcon(std::string line, bool smallIcon, bool selected, HIMAGELIST* imageList) const;

private:
    static constexpr std::size_t kNoCursor = static_cast<std::size_t>(-1);

    std::vector<LineA, SmallBlockAllocator<LineA>> m_lines;
    std::size_t m_cursor = kNoCursor;
};

}  // namespace korra
