// What the benchmark programs share: the seeded draws their data comes
// from, sample statistics, a millisecond clock, the tables they print, and
// a scratch folder under %TEMP%.
//
// Every benchmark's printed figures are read beside those of earlier runs,
// so what these helpers print and draw must stay as it is: a change to a
// format or to the order of the draws makes old and new runs incomparable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace bench {

// ---------------------------------------------------------------------------
// Data

// Draws from a fixed seed, so that two runs time the same data.
class Random {
public:
    explicit Random(std::uint32_t seed) : m_engine(seed) {}

    // 0 to n - 1; n must not be 0.
    std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_engine); }
    bool Chance(std::size_t percent) { return Below(100) < percent; }
    // One element of an array or vector, which must not be empty.
    template <class Items>
    auto Pick(const Items& items) -> decltype(items[0])
    {
        return items[Below(std::size(items))];
    }

private:
    std::mt19937 m_engine;
};

// A command word as people make them from words of their own language: one
// of words, another after it with secondPercent chance, then with
// numberPercent chance a number below numbersBelow.
template <class Words>
std::string CompoundWord(Random& random, const Words& words, std::size_t secondPercent, std::size_t numberPercent,
                         std::size_t numbersBelow)
{
    std::string word = random.Pick(words);
    if (random.Chance(secondPercent))
        word += random.Pick(words);
    if (random.Chance(numberPercent))
        word += std::to_string(random.Below(numbersBelow));
    return word;
}

inline char AsciiUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
}

inline char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Every byte folded to capitals, the trail bytes of double-byte characters
// too: stricter than the command table, so that words the benchmarks keep
// apart under this key are apart in the table as well.
std::string FoldedKey(std::string text);

// Every byte 'A'..'Z' made small.
std::string Lowered(std::string text);

// Work whose result nothing reads is handed here, so that the optimizer
// cannot drop it. Inline, so that the call costs the timed loops nothing.
inline volatile std::uintptr_t g_sink = 0;

inline void Consume(std::uintptr_t value)
{
    g_sink = g_sink + value;
}

// ---------------------------------------------------------------------------
// Measuring

// Milliseconds from the performance counter, from an arbitrary origin.
double NowMs();

struct Stats {
    double median = 0;      // the mean of the middle two for an even count
    double min = 0;
    double percentile = 0;  // nearest rank, as asked of Summarize
};

// The samples' figures; all zero when there are none.
Stats Summarize(std::vector<double> samples, unsigned percentile = 100);

// ---------------------------------------------------------------------------
// Printing

// 10000 as "10,000".
std::string Grouped(unsigned long long value);

// value through a printf format taking one double, such as "%.2fx".
std::string Fixed(double value, const char* format);

// The heads, a rule under them, then the rows, every row as long as heads.
// Each column is as wide as its widest cell, two spaces from the next; the
// first leftColumns columns are text and align left, the rest are figures
// and align right.
void PrintTable(const std::vector<std::string>& heads, const std::vector<std::vector<std::string>>& rows,
                std::size_t leftColumns = 1);

// The lines a reader must see before the figures: a build without
// optimization, and an ANSI code page other than 932, under which the
// Japanese words are read as single bytes.
void PrintBuildWarnings();

// ---------------------------------------------------------------------------
// Files

// Creates %TEMP%\<prefix><process id>, whose path goes to *folder whether
// or not it could be created; false when it could not. A folder of that
// name left by an earlier process with the same id is emptied and reused.
bool CreateScratchFolder(const char* prefix, std::string* folder);

// Deletes what folder holds, then folder. Wine may hold a program's file a
// moment after its process ended, so each file gets a few tries; what still
// cannot be deleted stays, with the folder. True when the folder is gone.
bool RemoveFolder(const std::string& folder);

}  // namespace bench
