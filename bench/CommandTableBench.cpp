// How fast the command table answers the launcher's two questions (is this
// word a command? which commands start with what was typed?) and how fast a
// stored command line has its macros expanded before it runs.
//
// Every figure stands beside the plainest code that answers the same
// question, timed in the same run on the same data:
//   Find                 a linear scan of a std::vector<std::string> for the
//                        first word equal with 'a'..'z' folded to capitals;
//   FindByPrefix         the same scan, copying out every word that starts
//                        with the prefix (Tarnic also copies each hit's first
//                        command line);
//   ExpandCommandMacros  a copy of the line with every "%0" replaced by the
//                        first argument and nothing else expanded.
// The columns are nanoseconds per query (or per line), each the median of
// five rounds that alternate Tarnic and the baseline, and the speed-up:
// baseline time over Tarnic time, so above 1 Tarnic is faster and below 1 the
// plain code is. The words, queries and lines come from a fixed seed: two runs
// differ only by machine noise.

#include "BenchSupport.h"
#include "CommandTable.h"
#include "Macros.h"
#include "TextRoutines.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using bench::AsciiLower;
using bench::AsciiUpper;
using bench::CompoundWord;
using bench::Consume;
using bench::FoldedKey;
using bench::Grouped;
using bench::Lowered;
using bench::Random;
using Clock = std::chrono::steady_clock;

// Command words people give in Japanese, as code page 932 bytes. Several
// have a second byte that is an ASCII letter or a backslash, which the
// table must not fold or split.
const char* const kJapaneseWords[] = {
    "\x83\x81\x83\x82",                  // memo
    "\x83\x81\x83\x82\x92\xA0",          // notepad
    "\x83\x81\x81\x5B\x83\x8B",          // mail
    "\x93\x64\x91\xEC",                  // calculator
    "\x83\x63\x81\x5B\x83\x8B",          // tool
    "\x95\x5C\x8C\x76\x8E\x5A",          // spreadsheet
    "\x83\x5C\x83\x74\x83\x67",          // software
    "\x93\xFA\x8B\x4C",                  // diary
    "\x8E\xCA\x90\x5E",                  // photo
    "\x89\xB9\x8A\x79",                  // music
    "\x8E\xAB\x8F\x91",                  // dictionary
    "\x92\x6E\x90\x7D",                  // map
    "\x90\xDD\x92\xE8",                  // settings
    "\x97\x5C\x92\xE8",                  // schedule
    "\x8C\x76\x8E\x5A\x8B\x40",          // calculating machine
    "\x89\xE6\x91\x9C",                  // image
    "\x93\xAE\x89\xE6",                  // video
    "\x96\x7C\x96\xF3",                  // translation
    "\x93\x56\x8B\x43",                  // weather
    "\x8B\xA4\x97\x4C",                  // sharing
    "\x92\x5B\x96\x96",                  // terminal
    "\x83\x47\x83\x66\x83\x42\x83\x5E",  // editor
    "\x83\x75\x83\x89\x83\x45\x83\x55",  // browser
    "\x83\x72\x83\x85\x81\x5B\x83\x41",  // viewer
    "\x83\x51\x81\x5B\x83\x80",          // game
    "\x8E\x9E\x8C\x76",                  // clock
    "\x95\x74\xE2\xB3",                  // sticky note
    "\x89\xC6\x8C\x76\x95\xEB",          // household accounts
    "\x8F\x5A\x8F\x8A\x98\x5E",          // address book
    "\x83\x5F\x83\x45\x83\x93\x83\x8D\x81\x5B\x83\x68",  // download
    "\x88\xB3\x8F\x6B",                  // compress
    "\x89\xF0\x93\x80",                  // extract
    "\x83\x74\x83\x40\x83\x43\x83\x8B",  // file
    "\x83\x74\x83\x48\x83\x8B\x83\x5F",  // folder
    "\x8C\x9F\x8D\xF5",                  // search
    "\x88\xF3\x8D\xFC",                  // print
    "\x95\x5C\x8E\xA6",                  // show
    "\x89\xEF\x8B\x63",                  // meeting
    "\x8E\x91\x97\xBF",                  // material
    "\x95\xF1\x8D\x90\x8F\x91",          // report
    "\x90\xBF\x8B\x81\x8F\x91",          // invoice
    "\x8B\x63\x8E\x96\x98\x5E",          // minutes
    "\x83\x6D\x81\x5B\x83\x67",          // note
    "\x83\x41\x83\x8B\x83\x6F\x83\x80",  // album
    "\x83\x4A\x83\x81\x83\x89",          // camera
    "\x83\x6F\x83\x62\x83\x4E\x83\x41\x83\x62\x83\x76",  // backup
    "\x93\xAF\x8A\xFA",                  // sync
    "\x83\x5C\x81\x5B\x83\x58",          // source
    "\x83\x8D\x83\x4F",                  // log
    "\x8A\xC7\x97\x9D",                  // management
    "\x95\xCF\x8A\xB7",                  // conversion
    "\x95\xD2\x8F\x57",                  // editing
    "\x8D\xEC\x90\xAC",                  // create
    "\x90\x56\x8B\x4B",                  // new
};

// Path pieces in Japanese for the command lines.
const std::string kUsers = "\x83\x86\x81\x5B\x83\x55\x81\x5B";                           // users
const std::string kDesktop = "\x83\x66\x83\x58\x83\x4E\x83\x67\x83\x62\x83\x76";         // desktop
const std::string kDocuments = "\x83\x68\x83\x4C\x83\x85\x83\x81\x83\x93\x83\x67";       // documents
const std::string kReport = "\x95\xF1\x8D\x90\x8F\x91";                                  // report
const std::string kSoftware = "\x83\x5C\x83\x74\x83\x67";                                // software
const std::string kShow = "\x95\x5C\x8E\xA6";                                            // show
const std::string kSettings = "\x90\xDD\x92\xE8";                                        // settings

// Made-up tool names in the style people register under.
const char* const kStems[] = {
    "mail",  "notepad", "calc",  "xplore", "paint",  "term",   "edit",  "browse", "ftp",
    "zip",   "tar",     "player", "viewer", "sync",  "backup", "shell", "regedit", "charmap",
    "clock", "diff",    "grep",  "mixer",  "scan",   "print",  "zoom",  "chat",   "news",
    "feed",  "todo",    "wiki",  "sql",    "ssh",    "vnc",    "ping",  "trace",  "disk",
    "defrag", "task",   "snap",  "note",   "photo",  "music",  "video", "burn",   "rip",
};
const char* const kLeads[] = {"win", "x", "my", "quick", "net", "k", "go", "tiny", "sys", "open"};
const char* const kTails[] = {"pad", "view", "man", "tool", "mgr", "cli", "pro", "lite",
                              "32",  "64",   "edit", "sync"};

std::string Capitalized(std::string s)
{
    if (!s.empty())
        s[0] = AsciiUpper(s[0]);
    return s;
}

// The word with every ASCII letter in the other case; the halves of a
// double-byte character stay as they are.
std::string OtherCase(const std::string& word)
{
    std::string out = word;
    const char* text = word.c_str();
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (IsLeadByteAt(text, i)) {
            ++i;
            continue;
        }
        const char c = out[i];
        out[i] = (c >= 'a' && c <= 'z') ? AsciiUpper(c) : AsciiLower(c);
    }
    return out;
}

// The bytes of the first `characters` characters, a double-byte one whole.
std::string FirstCharacters(const std::string& word, std::size_t characters)
{
    const char* text = word.c_str();
    std::size_t end = 0;
    for (std::size_t n = 0; n < characters && end < word.size(); ++n)
        end += IsLeadByteAt(text, end) ? 2 : 1;
    return word.substr(0, end);
}

std::string AsciiWord(Random& random)
{
    std::vector<std::string> pieces;
    if (random.Chance(25))
        pieces.push_back(random.Pick(kLeads));
    pieces.push_back(random.Pick(kStems));
    if (random.Chance(30))
        pieces.push_back(random.Pick(kTails));

    std::string word;
    const std::size_t style = random.Below(100);
    for (const std::string& piece : pieces) {
        if (style < 50) {
            word += piece;
        } else if (style < 75) {
            word += word.empty() ? Capitalized(piece) : piece;
        } else if (style < 85) {
            for (char c : piece)
                word += AsciiUpper(c);
        } else {
            word += Capitalized(piece);
        }
    }
    if (random.Chance(70)) {
        if (random.Chance(15))
            word += random.Chance(50) ? '_' : '-';
        word += std::to_string(random.Below(random.Chance(80) ? 100 : 10000));
    }
    return word;
}

std::string NewWord(Random& random, bool* japanese)
{
    *japanese = random.Chance(20);
    return *japanese ? CompoundWord(random, kJapaneseWords, 45, 60, 1000) : AsciiWord(random);
}

// One or two lines of the kinds people store: a program under Program Files
// with its arguments placed by macros, a shortcut on the desktop, a control
// panel applet, and as a second line a log entry or a folder to open.
std::vector<std::string> LinesFor(const std::string& word, bool japanese, Random& random)
{
    const std::string program = japanese ? word : Lowered(word);
    std::vector<std::string> lines;
    switch (random.Below(5)) {
    case 0:
        lines.push_back("\"C:\\Program Files\\" + word + "\\" + program + ".exe\" %0");
        break;
    case 1:
        lines.push_back("\"C:\\Program Files (x86)\\" + word + "\\" + program + ".exe\" %A\"%0\" %1%a");
        break;
    case 2:
        lines.push_back(program + ".exe %D/new%d%A\"%0\"%a");
        break;
    case 3:
        lines.push_back("\"C:\\" + kUsers + "\\hana\\" + kDesktop + "\\" + word + ".lnk\"");
        break;
    default:
        lines.push_back("\"%W\\system32\\rundll32.exe\" shell32.dll,Control_RunDLL " + program + ".cpl,,%0");
        break;
    }
    if (random.Chance(30)) {
        if (random.Chance(50))
            lines.push_back("cmd.exe /c echo %0 >> \"C:\\" + kUsers + "\\hana\\" + kDocuments + "\\log.txt\"");
        else
            lines.push_back("explorer.exe \"C:\\" + kUsers + "\\hana\\" + kDocuments + "\\" + word + "\"");
    }
    return lines;
}

struct Corpus {
    CCommandTable table;
    std::vector<std::string> words;  // the baseline's copy, in registration order
    std::unordered_set<std::string> keys;
    std::size_t japanese = 0;
    std::size_t lines = 0;
    double buildMs = 0;
};

// Words are unique under the baseline's byte-wise folding, which is stricter
// than the table's: so both sides must agree on every answer.
void Fill(Corpus& corpus, std::size_t count, Random& random)
{
    const Clock::time_point start = Clock::now();
    corpus.words.reserve(count);
    while (corpus.words.size() < count) {
        bool japanese = false;
        std::string word = NewWord(random, &japanese);
        if (!corpus.keys.insert(FoldedKey(word)).second)
            continue;
        CCommandEntry entry;
        entry.word = word;
        for (const std::string& line : LinesFor(word, japanese, random)) {
            entry.lines.Add(line);
            ++corpus.lines;
        }
        if (corpus.table.Insert(entry) != 1) {
            std::fprintf(stderr, "Insert failed at %zu commands\n", corpus.words.size());
            std::exit(1);
        }
        corpus.words.push_back(word);
        if (japanese)
            ++corpus.japanese;
    }
    corpus.buildMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Half are registered words typed in the other letter case, half are words
// of the same kind that nobody registered.
std::vector<std::string> FindQueries(const Corpus& corpus, std::size_t count, Random& random)
{
    std::vector<std::string> queries;
    while (queries.size() < count) {
        if (queries.size() % 2 == 0) {
            queries.push_back(OtherCase(corpus.words[random.Below(corpus.words.size())]));
        } else {
            bool japanese = false;
            std::string word = NewWord(random, &japanese);
            if (corpus.keys.count(FoldedKey(word)) == 0)
                queries.push_back(word);
        }
    }
    return queries;
}

// What people type first: the opening characters of registered words, drawn
// in proportion to how often each opening occurs, in mixed letter case.
std::vector<std::string> PrefixQueries(const Corpus& corpus, std::size_t count, std::size_t characters,
                                       Random& random)
{
    std::vector<std::string> queries;
    while (queries.size() < count) {
        std::string prefix = FirstCharacters(corpus.words[random.Below(corpus.words.size())], characters);
        queries.push_back(random.Chance(50) ? OtherCase(prefix) : prefix);
    }
    return queries;
}

// The baseline's comparison: byte by byte, 'a' to 'z' folded to capitals.
bool StartsFolded(const std::string& word, const std::string& prefix)
{
    if (word.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (FoldAscii(word[i]) != FoldAscii(prefix[i]))
            return false;
    }
    return true;
}

const std::string* LinearFind(const std::vector<std::string>& words, const std::string& word)
{
    for (const std::string& candidate : words) {
        if (candidate.size() == word.size() && StartsFolded(candidate, word))
            return &candidate;
    }
    return nullptr;
}

std::vector<std::string> LinearPrefix(const std::vector<std::string>& words, const std::string& prefix)
{
    std::vector<std::string> hits;
    for (const std::string& word : words) {
        if (StartsFolded(word, prefix))
            hits.push_back(word);
    }
    return hits;
}

std::string NaiveExpand(const std::string& line, const std::string& argument)
{
    std::string text = line;
    std::size_t at = 0;
    while ((at = text.find("%0", at)) != std::string::npos) {
        text.replace(at, 2, argument);
        at += argument.size();
    }
    return text;
}

// Queries on which Tarnic and the baseline give different answers; a
// nonzero count means the figures compare unequal work.
std::size_t FindDisagreements(const Corpus& corpus, const std::vector<std::string>& queries)
{
    std::size_t wrong = 0;
    for (const std::string& query : queries) {
        const CCommandEntry* entry = corpus.table.Find(query);
        const std::string* word = LinearFind(corpus.words, query);
        if ((entry == nullptr) != (word == nullptr) || (entry != nullptr && entry->word != *word))
            ++wrong;
    }
    return wrong;
}

std::size_t PrefixDisagreements(const Corpus& corpus, const std::vector<std::string>& queries)
{
    std::size_t wrong = 0;
    for (const std::string& query : queries) {
        if (corpus.table.FindByPrefix(query, false).size() != LinearPrefix(corpus.words, query).size())
            ++wrong;
    }
    return wrong;
}

// Measuring.

constexpr int kRounds = 5;
// Each timed stretch lasts about this long.
constexpr double kStretchNs = 80e6;

template <class Pass>
double ElapsedNs(Pass& pass, std::size_t passes)
{
    const Clock::time_point start = Clock::now();
    for (std::size_t i = 0; i < passes; ++i)
        pass();
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

// The number of passes that fill one stretch. The first tries also warm the
// caches and the heap.
template <class Pass>
std::size_t PassesPerStretch(Pass& pass)
{
    std::size_t passes = 1;
    for (;;) {
        const double ns = ElapsedNs(pass, passes);
        if (ns >= kStretchNs / 8 || passes >= (std::size_t{1} << 26)) {
            const double fill = static_cast<double>(passes) * kStretchNs / std::max(ns, 1.0);
            return std::max<std::size_t>(1, static_cast<std::size_t>(fill));
        }
        passes *= 2;
    }
}

struct Row {
    std::string operation;
    std::string commands;
    double tarnicNs;
    double baselineNs;
};

// A pass runs every query once; operationsPerPass turns pass times into
// times per query.
template <class TarnicPass, class BaselinePass>
Row Measure(const std::string& operation, const std::string& commands, std::size_t operationsPerPass,
            TarnicPass tarnic, BaselinePass baseline)
{
    const std::size_t tarnicPasses = PassesPerStretch(tarnic);
    const std::size_t baselinePasses = PassesPerStretch(baseline);
    std::vector<double> tarnicNs;
    std::vector<double> baselineNs;
    // Alternating keeps a slow spell of the machine from landing on one side.
    for (int round = 0; round < kRounds; ++round) {
        tarnicNs.push_back(ElapsedNs(tarnic, tarnicPasses) /
                           static_cast<double>(tarnicPasses * operationsPerPass));
        baselineNs.push_back(ElapsedNs(baseline, baselinePasses) /
                             static_cast<double>(baselinePasses * operationsPerPass));
    }
    // kRounds is odd, so each median is one measured round.
    return {operation, commands, bench::Summarize(tarnicNs).median, bench::Summarize(baselineNs).median};
}

std::string FormatNs(double ns)
{
    if (ns < 10)
        return bench::Fixed(ns, "%.2f");
    if (ns < 1000)
        return bench::Fixed(ns, "%.1f");
    return Grouped(static_cast<unsigned long long>(ns + 0.5));
}

std::string FormatRatio(double ratio)
{
    // Three significant figures either way, so a large slowdown still shows.
    return bench::Fixed(ratio, ratio >= 100 ? "%.0fx" : "%.3gx");
}

void PrintTable(const std::vector<Row>& rows)
{
    std::vector<std::vector<std::string>> cells;
    for (const Row& row : rows) {
        cells.push_back({row.operation, row.commands, FormatNs(row.tarnicNs), FormatNs(row.baselineNs),
                         FormatRatio(row.baselineNs / row.tarnicNs)});
    }
    bench::PrintTable({"operation", "commands", "Tarnic ns/op", "baseline ns/op", "speed-up"}, cells);
}

void MeasureTable(std::size_t size, Random& random, std::vector<Row>& rows)
{
    Corpus corpus;
    Fill(corpus, size, random);
    const std::string commands = Grouped(size);

    const std::vector<std::string> finds = FindQueries(corpus, 256, random);
    const std::vector<std::string> oneLetter = PrefixQueries(corpus, 64, 1, random);
    const std::vector<std::string> threeLetters = PrefixQueries(corpus, 128, 3, random);

    const std::size_t wrong = FindDisagreements(corpus, finds) + PrefixDisagreements(corpus, oneLetter) +
                              PrefixDisagreements(corpus, threeLetters);
    std::printf("%7s commands: %s lines, %zu%% Japanese words, built in %.0f ms%s\n", commands.c_str(),
                Grouped(corpus.lines).c_str(), corpus.japanese * 100 / size, corpus.buildMs,
                wrong == 0 ? "" : ", ANSWERS DIFFER FROM THE BASELINE");
    if (wrong != 0)
        std::printf("         %zu queries answered differently\n", wrong);
    std::fflush(stdout);

    rows.push_back(Measure(
        "Find (half present in other case)", commands, finds.size(),
        [&] {
            std::uintptr_t sum = 0;
            for (const std::string& query : finds)
                sum += reinterpret_cast<std::uintptr_t>(corpus.table.Find(query));
            Consume(sum);
        },
        [&] {
            std::uintptr_t sum = 0;
            for (const std::string& query : finds)
                sum += reinterpret_cast<std::uintptr_t>(LinearFind(corpus.words, query));
            Consume(sum);
        }));

    auto prefixRow = [&](const std::string& operation, const std::vector<std::string>& queries) {
        return Measure(
            operation, commands, queries.size(),
            [&] {
                std::uintptr_t sum = 0;
                for (const std::string& query : queries) {
                    const std::vector<CCandidate> hits = corpus.table.FindByPrefix(query, false);
                    sum += hits.size() + (hits.empty() ? 0 : hits.back().commandLine.size());
                }
                Consume(sum);
            },
            [&] {
                std::uintptr_t sum = 0;
                for (const std::string& query : queries) {
                    const std::vector<std::string> hits = LinearPrefix(corpus.words, query);
                    sum += hits.size() + (hits.empty() ? 0 : hits.back().size());
                }
                Consume(sum);
            });
    };
    rows.push_back(prefixRow("FindByPrefix, 1 letter", oneLetter));
    rows.push_back(prefixRow("FindByPrefix, 3 letters", threeLetters));
}

// A shortcut-style line: the program, an option kept only when a file was
// typed, the file, a title, and a literal percent sign.
std::string TypicalLine()
{
    return "\"C:\\Program Files\\Tarn Tools\\viewer.exe\" %A/open \"%0\"%a%D/new%d /title:\"%1\" /zoom 100%%";
}

// A batch-like line of a few kilobytes: paths and words in Japanese (some
// with a backslash as second byte) between every kind of argument macro.
std::string LongLine()
{
    std::string line = "cmd.exe /c ";
    for (int i = 0; line.size() < 4096; ++i) {
        line += "copy \"C:\\" + kUsers + "\\hana\\" + kDesktop + "\\" + kReport + std::to_string(i) +
                ".txt\" %A\"%0\"%a%D\"" + kDocuments + "\"%d & echo " + kShow + "%_%1%_" + kSettings +
                "%_" + kSoftware + " 50%% & ";
    }
    line += "exit";
    return line;
}

void MeasureMacros(std::vector<Row>& rows)
{
    std::string arguments[MACRO_ARGUMENT_COUNT];
    arguments[0] = "C:\\" + kUsers + "\\hana\\" + kDocuments + "\\" + kReport + ".docx";
    arguments[1] = "/readonly";

    auto row = [&](const std::string& line) {
        return Measure(
            "ExpandCommandMacros, " + Grouped(line.size()) + "-byte line", "-", 1,
            [&] {
                std::string text = line;
                bool used[MACRO_ARGUMENT_COUNT] = {};
                ExpandCommandMacros(text, MACROS_COMMAND_LINE, arguments, used);
                Consume(text.size() + static_cast<unsigned char>(text[0]) + used[1]);
            },
            [&] {
                const std::string text = NaiveExpand(line, arguments[0]);
                Consume(text.size() + static_cast<unsigned char>(text[0]));
            });
    };
    rows.push_back(row(TypicalLine()));
    rows.push_back(row(LongLine()));
}

}  // namespace

int main()
{
    const Clock::time_point start = Clock::now();
    std::printf("Command table and macro expansion: ns per operation, median of %d rounds\n", kRounds);
    std::printf("speed-up = baseline / Tarnic (above 1: Tarnic is faster)\n");
    bench::PrintBuildWarnings();
    std::printf("\n");

    Random random(20240611);
    std::vector<Row> rows;
    for (std::size_t size : {std::size_t{1000}, std::size_t{10000}, std::size_t{100000}})
        MeasureTable(size, random, rows);
    MeasureMacros(rows);

    std::printf("\n");
    PrintTable(rows);
    std::printf("\ntotal run time %.1f s\n",
                std::chrono::duration<double>(Clock::now() - start).count());
    return 0;
}
