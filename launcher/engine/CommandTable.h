// The registered commands: each word with its ordered command lines, found
// without regard to ASCII letter case.
#pragma once

#include "CommandLinesEx.h"

#include <string>
#include <vector>

// One registered command. Copies carry the word and lines, never the links:
// the editing dialogs and table copying use entries as plain values.
class CCommandEntry {
public:
    CCommandEntry() = default;
    CCommandEntry(const std::string& word, const CCommandLinesEx& lines) : word(word), lines(lines) {}
    CCommandEntry(const CCommandEntry& other) : word(other.word), lines(other.lines) {}
    CCommandEntry& operator=(const CCommandEntry& other)
    {
        word = other.word;
        lines = other.lines;
        return *this;
    }

    std::string word;
    CCommandLinesEx lines;
    CCommandEntry* next = nullptr;  // same bucket; owned by the table
    CCommandEntry* prev = nullptr;

    // A table holds thousands of entries: they come from small blocks.
    static void* operator new(std::size_t bytes) { return korra::SmallBlockAllocate(bytes); }
    static void operator delete(void* entry, std::size_t bytes) noexcept { korra::SmallBlockFree(entry, bytes); }
};

// One completion result: the word and its first command line (for a
// reserved word, the launcher's own quoted path; empty when there is none).
struct CCandidate {
    std::string word;
    std::string commandLine;
};

// Words compare byte for byte with 'a' to 'z' folded to capitals, so a
// double-byte character compares unchanged.
bool IsSameWord(const std::string& a, const std::string& b);

class CCommandTable {
public:
    static constexpr int kBucketCount = 32;

    CCommandTable() = default;
    // Copies keep the source's order; their chains hold each bucket's
    // entries newest first.
    CCommandTable(const CCommandTable& other);
    CCommandTable& operator=(const CCommandTable& other);
    ~CCommandTable();

    // Adds a copy of source at the end of the order, without testing whether
    // its word is taken (callers do). 1, or 0 with the table unchanged when
    // memory runs out.
    int Insert(const CCommandEntry& source);
    // Room in the order for count commands in all, so that a reader that
    // knows how many come adds them without the order growing step by
    // step. Without memory for it nothing changes: Insert then grows the
    // order as usual.
    void Reserve(std::size_t count) noexcept;
    // Removes the command registered as word: 1, or 0 when there is none.
    int Remove(const std::string& word);
    // The command registered as word, or null.
    CCommandEntry* Find(const std::string& word) const;
    // The commands whose words start with prefix, newest first within the
    // prefix's bucket, then, when includeReserved, the reserved words that
    // start with it. Empty for an empty prefix.
    std::vector<CCandidate> FindByPrefix(const std::string& prefix, bool includeReserved) const;
    void Clear();
    // Same words (letter case aside) with the same lines, in the same order.
    bool IsEqual(const CCommandTable& other) const;

    // The commands in registration order.
    const std::vector<CCommandEntry*>& GetOrder() const { return m_order; }
    std::size_t GetCount() const { return m_order.size(); }

    // The chain a word belongs to: its first byte, as a signed value with
    // 'a' to 'z' taken as capitals, modulo 32, sign dropped.
    static int BucketIndex(const std::string& word);

private:
    CCommandEntry* m_buckets[kBucketCount] = {};
    std::vector<CCommandEntry*> m_order;  // owns the entries
};
