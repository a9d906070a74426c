#include "korra/CommandLines.h"

#include "Execution.h"
#include "Macros.h"

namespace korra {

// The lines' allocator holds no state: the list is laid out as with the
// default one.
static_assert(sizeof(std::vector<LineA, SmallBlockAllocator<LineA>>) == sizeof(std::vector<std::string>) &&
                  sizeof(LineA) == sizeof(std::string),
              "the small-block allocator must not change the list's layout");

bool CCommandLinesA::IsEqual(const CCommandLinesA& other) const
{
    return m_lines == other.m_lines;
}

bool CCommandLinesA::IsNotEqual(const CCommandLinesA& other) const
{
    return !IsEqual(other);
}

void CCommandLinesA::Clear()
{
    m_lines.clear();
    m_cursor = kNoCursor;
}

void CCommandLinesA::Add(const std::string& line)
{
    m_lines.emplace_back(line.data(), line.size());
}

bool CCommandLinesA::RemoveFirst(int /*position*/)
{
    if (m_lines.empty())
        return false;
    m_lines.erase(m_lines.begin());
    return true;
}

LineA* CCommandLinesA::GetAt(std::size_t index)
{
    return &m_lines[index];
}

const LineA* CCommandLinesA::GetAt(std::size_t index) const
{
    return &m_lines[index];
}

std::size_t CCommandLinesA::GetCount() const
{
    return m_lines.size();
}

void CCommandLinesA::MoveFirst()
{
    m_cursor = 0;
}

bool CCommandLinesA::GetNext(std::string& out)
{
    if (m_cursor >= m_lines.size())
        return false;
    const LineA& line = m_lines[m_cursor++];
    out.assign(line.data(), line.size());
    return true;
}

int CCommandLinesA::GetIconIndex(bool smallIcon, bool selected, HIMAGELIST* imageList) const
{
    if (m_lines.empty())
        return -1;
    return LookUpIcon(ToString(m_lines.front()), smallIcon, selected, imageList);
}

bool CCommandLinesA::Execute()
{
    std::string line;
    MoveFirst();
    while (GetNext(line))
        RunCommandLine(line.c_str());
    return false;
}

int CCommandLinesA::LookUpIcon(std::string line, bool smallIcon, bool selected,
                               HIMAGELIST* imageList) const
{
    const std::string expanded = ExpandEnvironment(line.c_str());
    const std::string program = NextToken(expanded.c_str(), nullptr);
    return FindProgramIcon(program, smallIcon, selected, imageList);
}

}  // namespace korra
