#include "CommandTable.h"

#include "ProgramPath.h"

#include "TextRoutines.h"

#include <memory>
#include <new>
#include <stdexcept>

namespace {

// The words the launcher answers itself, in the order completion offers
// them. "?" (help) is never offered.
const char* const kOfferedReservedWords[] = {"SETTING", "SYSTEM", "HELP", "ABOUT", "EXIT"};

// The first prefix.size() bytes of word equal prefix, letter case aside; a
// word shorter than prefix never matches. Both bytes of a double-byte
// character compare exactly: its second byte may be a letter ("ツ" is
// 0x83 0x63) and folding it would make "ツ" equal "イ" (0x83 0x43).
bool StartsWithWord(const std::string& word, const std::string& prefix)
{
    if (word.size() < prefix.size())
        return false;
    const char* w = word.c_str();
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (IsLeadByteAt(w, i) && i + 1 < prefix.size()) {
            if (word[i] != prefix[i] || word[i + 1] != prefix[i + 1])
                return false;
            ++i;
        } else if (FoldAscii(word[i]) != FoldAscii(prefix[i])) {
            return false;
        }
    }
    return true;
}

// The running program's path in double quotes.
std::string QuotedModulePath()
{
    return '"' + GetProgramPath() + '"';
}

}  // namespace

bool IsSameWord(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && StartsWithWord(a, b);
}

int CCommandTable::BucketIndex(const std::string& word)
{
    if (word.empty())
        return 0;
    int b = static_cast<signed char>(word[0]);
    if (b >= 'a' && b <= 'z')
        b -= 32;
    const int r = b % kBucketCount;
    return r < 0 ? -r : r;
}

CCommandTable::CCommandTable(const CCommandTable& other)
{
    *this = other;
}

CCommandTable& CCommandTable::operator=(const CCommandTable& other)
{
    if (this != &other) {
        Clear();
        for (const CCommandEntry* entry : other.m_order)
            Insert(*entry);
    }
    return *this;
}

CCommandTable::~CCommandTable()
{
    Clear();
}

int CCommandTable::Insert(const CCommandEntry& source)
{
    try {
        auto entry = std::make_unique<CCommandEntry>(source);
        if (m_order.size() == m_order.capacity())
            m_order.reserve(m_order.empty() ? 16 : m_order.size() * 2);
        // Nothing below can fail.
        CCommandEntry*& head = m_buckets[BucketIndex(entry->word)];
        entry->next = head;
        entry->prev = nullptr;
        if (head != nullptr)
            head->prev = entry.get();
        head = entry.get();
        m_order.push_back(entry.release());
        return 1;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

void CCommandTable::Reserve(std::size_t count) noexcept
{
    try {
        m_order.reserve(count);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
}

int CCommandTable::Remove(const std::string& word)
{
    for (auto it = m_order.begin(); it != m_order.end(); ++it) {
        CCommandEntry* entry = *it;
        if (!IsSameWord(entry->word, word))
            continue;
        if (entry->next != nullptr)
            entry->next->prev = entry->prev;
        if (entry->prev != nullptr)
            entry->prev->next = entry->next;
        CCommandEntry*& head = m_buckets[BucketIndex(entry->word)];
        if (head == entry)
            head = entry->next;
        m_order.erase(it);
        delete entry;
        return 1;
    }
    return 0;
}

CCommandEntry* CCommandTable::Find(const std::string& word) const
{
    for (CCommandEntry* entry = m_buckets[BucketIndex(word)]; entry != nullptr; entry = entry->next) {
        if (IsSameWord(entry->word, word))
            return entry;
    }
    return nullptr;
}

std::vector<CCandidate> CCommandTable::FindByPrefix(const std::string& prefix,
                                                    bool includeReserved) const
{
    std::vector<CCandidate> candidates;
    if (prefix.empty())
        return candidates;
    for (const CCommandEntry* entry = m_buckets[BucketIndex(prefix)]; entry != nullptr;
         entry = entry->next) {
        if (StartsWithWord(entry->word, prefix)) {
            const CCommandLinesEx& lines = entry->lines;
            candidates.push_back({entry->word, lines.GetCount() > 0 ? korra::ToString(*lines.GetAt(0)) : std::string()});
        }
    }
    if (includeReserved) {
        std::string ownPath;
        for (const char* reserved : kOfferedReservedWords) {
            if (!StartsWithWord(reserved, prefix))
                continue;
            if (ownPath.empty())
                ownPath = QuotedModulePath();
            candidates.push_back({reserved, ownPath});
        }
    }
    return candidates;
}

void CCommandTable::Clear()
{
    for (CCommandEntry* entry : m_order)
        delete entry;
    m_order.clear();
    for (CCommandEntry*& head : m_buckets)
        head = nullptr;
}

bool CCommandTable::IsEqual(const CCommandTable& other) const
{
    if (m_order.size() != other.m_order.size())
        return false;
    for (std::size_t i = 0; i < m_order.size(); ++i) {
        const CCommandEntry& mine = *m_order[i];
        const CCommandEntry& theirs = *other.m_order[i];
        if (!IsSameWord(mine.word, theirs.word) || mine.lines.IsNotEqual(theirs.lines))
            return false;
    }
    return true;
}
