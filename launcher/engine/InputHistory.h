// The input history: what was entered, newest first, and where the user
// is while browsing it with Up and Down.
#pragma once

#include <cstddef>
#include <deque>
#include <string>

class CInputHistory {
public:
    static constexpr std::size_t kMaxCapacity = 255;
    static constexpr std::size_t kDefaultCapacity = 20;

    // Records text as the newest entry, dropping the oldest when full.
    // Nothing is recorded for an empty text, with capacity 0, or when text
    // equals the newest entry byte for byte. The position stays.
    void Add(const std::string& text);

    // Position 0 is the text being typed; k >= 1 is entry k - 1.
    // False (and no change) when k is beyond the last entry.
    bool SetPosition(std::size_t k);
    std::size_t GetPosition() const { return m_position; }
    // The saved input at position 0, entry position - 1 otherwise; "" past
    // the last entry.
    std::string GetCurrent() const;

    // Up in the box: one entry older, keeping typed (the box's text) as the
    // saved input when leaving position 0. False, and nothing changes, with
    // capacity 0 or at the oldest entry.
    bool Back(const std::string& typed);
    // Down in the box: one entry newer. False, and nothing changes, with
    // capacity 0 or at position 0.
    bool Forward();

    // The box's text when browsing left position 0.
    void SetSavedInput(const std::string& text) { m_savedInput = text; }
    const std::string& GetSavedInput() const { return m_savedInput; }

    std::size_t GetCapacity() const { return m_capacity; }
    // Clamped to kMaxCapacity; the oldest entries beyond it are dropped.
    void SetCapacity(std::size_t capacity);

    std::size_t GetCount() const { return m_entries.size(); }
    // Entry i, newest first; no bounds check (test i against GetCount).
    const std::string& GetAt(std::size_t i) const { return m_entries[i]; }
    void Clear();

private:
    std::deque<std::string> m_entries;  // index 0 the newest
    std::size_t m_capacity = kDefaultCapacity;
    std::size_t m_position = 0;
    std::string m_savedInput;
};
