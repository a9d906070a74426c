#include "CommandTable.h"
#include "korra/SmallBlocks.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <new>
#include <string>
#include <vector>

// Allocation failures on demand: when allocationsUntilFailure reaches 0, the
// next allocation throws. -1 never fails.
// The table's entries and line arrays come from korra's small blocks, which
// count the same way.
namespace {
int allocationsUntilFailure = -1;

bool AllocationFails(std::size_t = 0)
{
    if (allocationsUntilFailure == 0)
        return true;
    if (allocationsUntilFailure > 0)
        --allocationsUntilFailure;
    return false;
}

const bool g_smallBlocksCounted = (korra::SetSmallBlockFaultHook(AllocationFails), true);
}  // namespace

void* operator new(std::size_t size)
{
    if (AllocationFails())
        throw std::bad_alloc();
    if (void* memory = std::malloc(size != 0 ? size : 1))
        return memory;
    throw std::bad_alloc();
}

// Not inlined: the compiler would take the free of a block from operator
// new for a mismatch.
__attribute__((noinline)) void operator delete(void* memory) noexcept { std::free(memory); }
__attribute__((noinline)) void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

CCommandEntry Command(const std::string& word, std::initializer_list<const char*> lines = {"x.exe"})
{
    CCommandEntry entry;
    entry.word = word;
    for (const char* line : lines)
        entry.lines.Add(line);
    return entry;
}

std::vector<std::string> Words(const std::vector<CCandidate>& candidates)
{
    std::vector<std::string> words;
    for (const CCandidate& candidate : candidates)
        words.push_back(candidate.word);
    return words;
}

std::vector<std::string> Order(const CCommandTable& table)
{
    std::vector<std::string> words;
    for (const CCommandEntry* entry : table.GetOrder())
        words.push_back(entry->word);
    return words;
}

std::string QuotedOwnPath()
{
    char path[MAX_PATH * 4] = {};
    GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string("\"") + path + "\"";
}

using Words_ = std::vector<std::string>;

TEST(CommandTable, FindIgnoresAsciiCaseOnly)
{
    CCommandTable table;
    ASSERT_EQ(1, table.Insert(Command("notepad", {"notepad.exe"})));
    // メモ, and ツ (0x83 0x63) whose second byte is 'c'.
    ASSERT_EQ(1, table.Insert(Command("\x83\x81\x83\x82")));
    ASSERT_EQ(1, table.Insert(Command("\x83\x63")));

    ASSERT_NE(nullptr, table.Find("NOTEPAD"));
    EXPECT_EQ("notepad", table.Find("NoTePaD")->word);
    EXPECT_EQ(nullptr, table.Find("note"));
    EXPECT_EQ(nullptr, table.Find("notepads"));
    EXPECT_NE(nullptr, table.Find("\x83\x81\x83\x82"));
    // イ (0x83 0x43) differs from ツ only in the case of its second byte.
    EXPECT_EQ(nullptr, table.Find("\x83\x43"));
    EXPECT_NE(nullptr, table.Find("\x83\x63"));
    EXPECT_EQ(nullptr, table.Find(""));
}

TEST(CommandTable, BucketIndex)
{
    EXPECT_EQ(1, CCommandTable::BucketIndex("A"));
    EXPECT_EQ(1, CCommandTable::BucketIndex("a"));
    EXPECT_EQ(1, CCommandTable::BucketIndex("!"));
    EXPECT_EQ(30, CCommandTable::BucketIndex("\x82\xA0"));
    EXPECT_EQ(0, CCommandTable::BucketIndex(""));
    EXPECT_EQ(0, CCommandTable::BucketIndex("@"));
    EXPECT_EQ(31, CCommandTable::BucketIndex("\x81\x40"));  // -127 % 32 = -31
}

TEST(CommandTable, FindByPrefixListsNewestFirstThenReservedWords)
{
    CCommandTable table;
    table.Insert(Command("notepad", {"notepad.exe", "second.exe"}));
    table.Insert(Command("notes", {}));
    table.Insert(Command("calc"));

    std::vector<CCandidate> found = table.FindByPrefix("NOT", false);
    ASSERT_EQ(2u, found.size());
    EXPECT_EQ("notes", found[0].word);
    EXPECT_EQ("", found[0].commandLine);  // no command lines
    EXPECT_EQ("notepad", found[1].word);
    EXPECT_EQ("notepad.exe", found[1].commandLine);

    EXPECT_EQ(Words_({}), Words(table.FindByPrefix("notepadx", false)));
    EXPECT_EQ(Words_({}), Words(table.FindByPrefix("", false)));
    EXPECT_EQ(Words_({}), Words(table.FindByPrefix("", true)));
    EXPECT_EQ(Words_({"EXIT"}), Words(table.FindByPrefix("e", true)));
}

TEST(CommandTable, ReservedWordsCarryTheQuotedOwnPath)
{
    const CCommandTable empty;
    const std::vector<CCandidate> found = empty.FindByPrefix("s", true);
    EXPECT_EQ(Words_({"SETTING", "SYSTEM"}), Words(found));
    for (const CCandidate& candidate : found)
        EXPECT_EQ(QuotedOwnPath(), candidate.commandLine);

    EXPECT_EQ(Words_({}), Words(empty.FindByPrefix("SYSTEMS", true)));
    EXPECT_EQ(Words_({}), Words(empty.FindByPrefix("?", true)));
    EXPECT_EQ(Words_({"HELP"}), Words(empty.FindByPrefix("help", true)));
    EXPECT_EQ(Words_({}), Words(empty.FindByPrefix("s", false)));

    CCommandTable table;
    table.Insert(Command("sed"));
    EXPECT_EQ(Words_({"sed", "SETTING"}), Words(table.FindByPrefix("se", true)));
}

TEST(CommandTable, RemoveRelinksChainsAndClosesTheGap)
{
    CCommandTable table;
    for (const char* word : {"ab", "ac", "ad", "b"})
        table.Insert(Command(word));

    // "ad" is the head of the "a" chain, "ac" its middle, "ab" its tail.
    EXPECT_EQ(1, table.Remove("AD"));
    EXPECT_EQ(Words_({"ac", "ab"}), Words(table.FindByPrefix("a", false)));
    EXPECT_EQ(1, table.Remove("ac"));
    EXPECT_EQ(Words_({"ab"}), Words(table.FindByPrefix("a", false)));
    EXPECT_NE(nullptr, table.Find("ab"));
    EXPECT_EQ(Words_({"ab", "b"}), Order(table));

    EXPECT_EQ(1, table.Remove("b"));  // the only entry of its bucket
    EXPECT_EQ(nullptr, table.Find("b"));
    EXPECT_EQ(Words_({}), Words(table.FindByPrefix("b", false)));
    EXPECT_EQ(0, table.Remove("b"));
    EXPECT_EQ(0, table.Remove("zzz"));
    EXPECT_EQ(Words_({"ab"}), Order(table));

    // The tail of a chain.
    table.Insert(Command("ax"));
    EXPECT_EQ(1, table.Remove("ab"));
    EXPECT_EQ(Words_({"ax"}), Words(table.FindByPrefix("a", false)));
}

TEST(CommandTable, EqualityFollowsOrderWordsAndLines)
{
    CCommandTable a;
    a.Insert(Command("one", {"1.exe"}));
    a.Insert(Command("two", {"2.exe"}));

    CCommandTable reordered;
    reordered.Insert(Command("two", {"2.exe"}));
    reordered.Insert(Command("one", {"1.exe"}));
    EXPECT_FALSE(a.IsEqual(reordered));

    CCommandTable otherCase;
    otherCase.Insert(Command("ONE", {"1.exe"}));
    otherCase.Insert(Command("Two", {"2.exe"}));
    EXPECT_TRUE(a.IsEqual(otherCase));

    CCommandTable lineCase;
    lineCase.Insert(Command("one", {"1.EXE"}));
    lineCase.Insert(Command("two", {"2.exe"}));
    EXPECT_FALSE(a.IsEqual(lineCase));

    CCommandTable extraLine;
    extraLine.Insert(Command("one", {"1.exe", "1.exe"}));
    extraLine.Insert(Command("two", {"2.exe"}));
    EXPECT_FALSE(a.IsEqual(extraLine));

    CCommandTable shorter;
    shorter.Insert(Command("one", {"1.exe"}));
    EXPECT_FALSE(a.IsEqual(shorter));
    EXPECT_TRUE(CCommandTable().IsEqual(CCommandTable()));
}

TEST(CommandTable, CopiesAreDeepAndKeepTheOrder)
{
    CCommandTable source;
    for (const char* word : {"mail", "map", "\x83\x81\x83\x82", "zip"})
        source.Insert(Command(word, {"a.exe", "b.exe"}));

    CCommandTable copy(source);
    EXPECT_EQ(Order(source), Order(copy));
    EXPECT_TRUE(copy.IsEqual(source));
    ASSERT_NE(nullptr, copy.Find("MAP"));
    EXPECT_NE(source.Find("map"), copy.Find("map"));
    EXPECT_EQ(Words(source.FindByPrefix("m", false)), Words(copy.FindByPrefix("m", false)));

    copy.Find("map")->lines.Add("c.exe");
    copy.Remove("zip");
    EXPECT_EQ(2u, source.Find("map")->lines.GetCount());
    EXPECT_NE(nullptr, source.Find("zip"));

    CCommandTable assigned;
    assigned.Insert(Command("old"));
    assigned = source;
    EXPECT_EQ(Order(source), Order(assigned));
    EXPECT_EQ(nullptr, assigned.Find("old"));
    assigned = assigned;
    EXPECT_EQ(Order(source), Order(assigned));

    assigned.Clear();
    EXPECT_EQ(0u, assigned.GetCount());
    EXPECT_EQ(nullptr, assigned.Find("mail"));
    EXPECT_EQ(Words_({}), Words(assigned.FindByPrefix("m", true)));
}

TEST(CommandTable, InsertThatRunsOutOfMemoryLeavesTheTableAsItWas)
{
    CCommandTable table;
    for (int i = 0; i < 16; ++i)  // the order list is full: the next insert grows it
        table.Insert(Command("word" + std::to_string(i), {"w.exe"}));
    const std::vector<std::string> before = Order(table);
    const CCommandEntry newcomer = Command("a-rather-long-command-word", {"first line that is long", "second line that is long"});

    int failures = 0;
    for (int failAt = 0;; ++failAt) {
        allocationsUntilFailure = failAt;
        const int result = table.Insert(newcomer);
        allocationsUntilFailure = -1;
        if (result == 1)
            break;
        ++failures;
        EXPECT_EQ(0, result);
        EXPECT_EQ(before, Order(table)) << failAt;
        EXPECT_EQ(nullptr, table.Find(newcomer.word)) << failAt;
        EXPECT_EQ(16u, table.FindByPrefix("word", false).size()) << failAt;
    }
    EXPECT_GE(failures, 4);
    EXPECT_NE(nullptr, table.Find(newcomer.word));
    EXPECT_EQ(17u, table.GetCount());
}

// Seeded sequences of the table's calls, each step checked against a plain
// list of (word, lines) in registration order: the order, Find (the newest
// command of a word), FindByPrefix (newest first) and equality, also of
// copies made and assigned along the way. Words are few and alike (letter
// case, double-byte lead bytes, shared buckets), so chains are crowded and
// words come twice.
TEST(CommandTable, CallSequencesMatchAPlainList)
{
    static const char* const kWords[] = {"a", "A", "ab", "AB", "abc", "aBd", "!", "!x", "b", "B",
                                         "\x82\xa0", "\x82\xa0x", "\x83" "A", "\x83" "a", "\xe0\x40",
                                         "`", "@", "a b", "zz", "Zz"};
    const int wordCount = sizeof kWords / sizeof kWords[0];
    struct Model {
        std::string word;
        std::string firstLine;
    };
    unsigned state = 12345;
    auto below = [&state](unsigned bound) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % bound;
    };
    for (int round = 0; round < 40; ++round) {
        CCommandTable table, copy;
        std::vector<Model> model, copyModel;
        for (int step = 0; step < 300; ++step) {
            const std::string word = kWords[below(wordCount)];
            SCOPED_TRACE("round " + std::to_string(round) + " step " + std::to_string(step) + " word " + word);
            switch (below(8)) {
            case 0:
            case 1:
            case 2: {
                const std::string line = "line" + std::to_string(step);
                ASSERT_EQ(1, table.Insert(Command(word, {line.c_str(), "second"})));
                model.push_back({word, line});
                break;
            }
            case 3: {
                // The first registered of the word goes.
                auto it = model.begin();
                while (it != model.end() && !IsSameWord(it->word, word))
                    ++it;
                EXPECT_EQ(it != model.end() ? 1 : 0, table.Remove(word));
                if (it != model.end())
                    model.erase(it);
                break;
            }
            case 4:
                copy = table;
                copyModel = model;
                break;
            case 5:
                if (below(4) == 0) {
                    table.Clear();
                    model.clear();
                } else {
                    table = copy;
                    model = copyModel;
                }
                break;
            default: {
                const std::string prefix = word.substr(0, 1 + below(static_cast<unsigned>(word.size())));
                std::vector<std::string> expected;
                for (auto it = model.rbegin(); it != model.rend(); ++it) {
                    if (it->word.size() >= prefix.size() && IsSameWord(it->word.substr(0, prefix.size()), prefix))
                        expected.push_back(it->word);
                }
                EXPECT_EQ(expected, Words(table.FindByPrefix(prefix, false))) << prefix;
                break;
            }
            }
            // The order, and each word found as its newest command.
            ASSERT_EQ(model.size(), table.GetCount());
            for (std::size_t i = 0; i < model.size(); ++i) {
                EXPECT_EQ(model[i].word, table.GetOrder()[i]->word);
                EXPECT_EQ(model[i].firstLine, *table.GetOrder()[i]->lines.GetAt(0));
            }
            for (const char* probe : kWords) {
                const Model* newest = nullptr;
                for (const Model& m : model) {
                    if (IsSameWord(m.word, probe))
                        newest = &m;
                }
                const CCommandEntry* found = table.Find(probe);
                ASSERT_EQ(newest != nullptr, found != nullptr) << probe;
                if (found != nullptr) {
                    EXPECT_EQ(newest->firstLine, *found->lines.GetAt(0)) << probe;
                }
            }
            bool same = model.size() == copyModel.size();
            for (std::size_t i = 0; same && i < model.size(); ++i)
                same = IsSameWord(model[i].word, copyModel[i].word) && model[i].firstLine == copyModel[i].firstLine;
            EXPECT_EQ(same, table.IsEqual(copy));
            if (::testing::Test::HasFailure())
                return;
        }
    }
}

TEST(CommandEntry, CopiesCarryNoLinks)
{
    CCommandTable table;
    table.Insert(Command("a1"));
    table.Insert(Command("a2"));
    const CCommandEntry copy = *table.Find("a1");
    EXPECT_EQ(nullptr, copy.next);
    EXPECT_EQ(nullptr, copy.prev);
    EXPECT_EQ("a1", copy.word);
    EXPECT_EQ(1u, copy.lines.GetCount());
}

}  // namespace
