#include "InputHistory.h"

void CInputHistory::Add(const std::string& text)
{
    if (text.empty() || m_capacity == 0)
        return;
    if (!m_entries.empty() && m_entries.front() == text)
        return;
    while (m_entries.size() >= m_capacity)
        m_entries.pop_back();
    m_entries.push_front(text);
    // Entries moved down by one; a position past the end would point at
    // nothing.
    if (m_position > m_entries.size())
        m_position = m_entries.size();
}

bool CInputHistory::SetPosition(std::size_t k)
{
    if (k > m_entries.size())
        return false;
    m_position = k;
    return true;
}

bool CInputHistory::Back(const std::string& typed)
{
    if (m_capacity == 0 || m_position >= m_entries.size())
        return false;
    if (m_position == 0)
        m_savedInput = typed;
    ++m_position;
    return true;
}

bool CInputHistory::Forward()
{
    if (m_capacity == 0 || m_position == 0)
        return false;
    --m_position;
    return true;
}

std::string CInputHistory::GetCurrent() const
{
    if (m_position == 0)
        return m_savedInput;
    if (m_position - 1 < m_entries.size())
        return m_entries[m_position - 1];
    return std::string();
}

void CInputHistory::SetCapacity(std::size_t capacity)
{
    m_capacity = capacity > kMaxCapacity ? kMaxCapacity : capacity;
    while (m_entries.size() > m_capacity)
        m_entries.pop_back();
    if (m_position > m_entries.size())
        m_position = m_entries.size();
}

void CInputHistory::Clear()
{
    m_entries.clear();
    m_position = 0;
}
