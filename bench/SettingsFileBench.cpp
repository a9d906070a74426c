// How long the settings file takes to load and save with 10,000 commands
// (three command lines each, about a fifth of the words and most lines in
// Japanese) and a full input history of 255 entries, and how much of that
// is the settings layer's own work rather than Velum's.
//
// Each figure stands beside what the same bytes cost without the layer,
// timed in the same rounds on the same file:
//   LoadSettingsFile  beside  Velum alone: open, lock shared, parse, free
//                             the tree, close (the load frees its tree too);
//                             plain read: CreateFile and ReadFile of the
//                             bytes into memory;
//   SaveSettingsFile  beside  Velum alone: open, lock exclusive, serialize a
//                             document built beforehand, close;
//                             plain write: CreateFile and WriteFile of the
//                             same bytes.
// A further line sets the save beside Velum's serialize followed by the
// same file steps the save takes to keep a whole file in place (flush, wait
// for readers, link to .bak, rename with write-through), so that what the
// layer adds can be told from what the file system costs.
// Two more tables split each call into its parts, each timed by itself:
// the parse and the tree's free, ReadSettingsDocument (tree to record), the
// copy of the caller's record the load keeps for a failed read;
// BuildSettingsDocument (record to tree), the built tree's free, the
// serialize and the safe file steps. The last table times the layer's own
// steps alone over the same strings and tree (the text conversions, the
// walk of the child lists, the tree built through Velum's calls, the command
// table filled), each the generic way beside the way the layer does it.
// Figures are milliseconds: the median (and the minimum) of the runs, each
// run doing every operation once in turn after one untimed warm-up run.
// The record comes from a fixed seed: two runs differ only by machine noise.
//   settings_file_bench [--runs N]

#include "BenchSupport.h"
#include "Settings.h"
#include "SettingsFile.h"
#include "WideToAnsi.h"

#include <velum/Velum.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using bench::Consume;
using bench::Fixed;
using bench::Grouped;
using bench::PrintTable;
using bench::Random;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kCommandCount = 10000;
constexpr std::size_t kHistoryCount = 255;
// The load adds reading the tree into the record to Velum's parse; the
// save adds building the tree, freeing it and the steps that keep a whole
// file in place at every moment to Velum's serialize.
constexpr double kLoadTarget = 1.3;
constexpr double kSaveTarget = 2.0;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// UTF-8 source text in the code page of the record's strings (932 under
// the benchmark's Wine session).
std::string Ansi(const char* utf8)
{
    const int units = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
    std::vector<wchar_t> wide(static_cast<std::size_t>(units > 0 ? units : 1));
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide.data(), units);
    const int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(bytes > 0 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), -1, &text[0], bytes, nullptr, nullptr);
    text.resize(std::strlen(text.c_str()));
    return text;
}

bool HasDoubleByte(const std::string& text)
{
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// The record

// Several of these have a trail byte that is a backslash or an ASCII letter
// in code page 932 (ソ, 表, 能, ダ), which the conversions must carry whole.
const char* const kJapaneseWordsUtf8[] = {
    "メモ",     "電卓",       "日記",       "写真",     "音楽",   "辞書",     "地図",
    "予定表",   "翻訳",       "天気",       "共有",     "端末",   "画像",     "動画",
    "報告書",   "請求書",     "議事録",     "家計簿",   "住所録", "検索",     "印刷",
    "表示",     "会議",       "資料",       "ノート",   "アルバム", "カメラ", "バックアップ",
    "同期",     "ソース",     "ログ",       "管理",     "変換",   "編集",     "作成",
    "新規",     "ダウンロード", "圧縮",     "解凍",     "ファイル", "フォルダ", "エディタ",
    "ブラウザ", "ビューア",   "ゲーム",     "時計",     "付箋",   "ツール",   "ソフト",
    "メール",   "機能",       "性能表",
};

const char* const kStems[] = {
    "mail", "notepad", "calc", "xplore", "paint", "term", "edit", "browse", "ftp", "zip",
    "tar", "player", "viewer", "sync", "backup", "shell", "regedit", "charmap", "clock",
    "diff", "grep", "mixer", "scan", "print", "zoom", "chat", "news", "feed", "todo",
    "wiki", "sql", "ssh", "vnc", "ping", "trace", "disk", "task", "snap", "note", "photo",
};
const char* const kTails[] = {"pad", "view", "man", "tool", "mgr", "cli", "pro", "lite", "32", "64"};

struct Pieces {
    std::vector<std::string> japaneseWords;
    std::string users, desktop, documents, tools, log, argument;
};

Pieces MakePieces()
{
    Pieces pieces;
    for (const char* word : kJapaneseWordsUtf8)
        pieces.japaneseWords.push_back(Ansi(word));
    pieces.users = Ansi("ユーザー");
    pieces.desktop = Ansi("デスクトップ");
    pieces.documents = Ansi("ドキュメント");
    pieces.tools = Ansi("ツール集");
    pieces.log = Ansi("の記録.txt");
    pieces.argument = Ansi("検索語");
    return pieces;
}

std::string NewWord(const Pieces& pieces, Random& random, bool* japanese)
{
    *japanese = random.Chance(20);
    if (*japanese)
        return bench::CompoundWord(random, pieces.japaneseWords, 50, 70, 1000);
    std::string word = random.Pick(kStems);
    if (random.Chance(40))
        word += random.Pick(kTails);
    if (random.Chance(30))
        word[0] = static_cast<char>(word[0] - 'a' + 'A');
    if (random.Chance(70))
        word += std::to_string(random.Below(1000));
    return word;
}

// The kinds of lines people store: a program with its arguments placed by
// macros, a log line through cmd, a folder or shortcut under their profile.
CCommandLinesEx LinesFor(const std::string& word, const Pieces& pieces, Random& random)
{
    const std::string home = "C:\\" + pieces.users + "\\hana\\";
    CCommandLinesEx lines;
    switch (random.Below(3)) {
    case 0:
        lines.Add("\"C:\\Program Files\\" + word + "\\" + word + ".exe\" %A\"%0\"%a %1");
        break;
    case 1:
        lines.Add("\"" + home + pieces.tools + "\\" + word + ".exe\" /open %0");
        break;
    default:
        lines.Add("\"%W\\system32\\rundll32.exe\" shell32.dll,Control_RunDLL " + word + ".cpl,,%0");
        break;
    }
    lines.Add("cmd.exe /c echo %0 >> \"" + home + pieces.documents + "\\" + word + pieces.log + "\"");
    if (random.Chance(50))
        lines.Add("explorer.exe \"" + home + pieces.desktop + "\\" + word + "\"");
    else
        lines.Add("\"" + home + pieces.desktop + "\\" + word + ".lnk\" %D%0%d");
    return lines;
}

struct Record {
    CSettings settings;
    std::size_t japaneseWords = 0;
    std::size_t lines = 0;
    std::size_t japaneseLines = 0;
};

void Fill(Record& record)
{
    Random random(20240611);
    const Pieces pieces = MakePieces();
    const std::string system = "SYSTEM";
    std::unordered_set<std::string> taken;
    while (record.settings.Commands.GetCount() < kCommandCount) {
        bool japanese = false;
        const std::string word = NewWord(pieces, random, &japanese);
        const std::string key = bench::FoldedKey(word);
        // SYSTEM would stop the load with a message box.
        if (key == system || !taken.insert(key).second)
            continue;
        const CCommandLinesEx lines = LinesFor(word, pieces, random);
        record.settings.Commands.Insert(CCommandEntry(word, lines));
        record.japaneseWords += japanese ? 1 : 0;
        for (std::size_t i = 0; i < lines.GetCount(); ++i) {
            ++record.lines;
            record.japaneseLines += HasDoubleByte(korra::ToString(*lines.GetAt(i))) ? 1 : 0;
        }
    }
    record.settings.HistorySize = static_cast<std::uint32_t>(kHistoryCount);
    record.settings.History.SetCapacity(kHistoryCount);
    const std::vector<CCommandEntry*>& order = record.settings.Commands.GetOrder();
    for (std::size_t i = 0; i < kHistoryCount; ++i)
        record.settings.History.Add(order[random.Below(order.size())]->word + " " + pieces.argument +
                                    std::to_string(i));
    record.settings.Window.FontFace = Ansi("ＭＳ ゴシック");
}

bool SameRecord(const CSettings& a, const CSettings& b)
{
    if (!a.Commands.IsEqual(b.Commands) || a.HistorySize != b.HistorySize ||
        a.History.GetCount() != b.History.GetCount() || a.Window != b.Window)
        return false;
    for (std::size_t i = 0; i < a.History.GetCount(); ++i) {
        if (a.History.GetAt(i) != b.History.GetAt(i))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Files

std::string ReadBytes(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    LARGE_INTEGER size = {};
    GetFileSizeEx(file, &size);
    std::string bytes(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr))
        read = 0;
    CloseHandle(file);
    bytes.resize(read);
    return bytes;
}

bool WriteBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    return CloseHandle(file) && ok;
}

// ---------------------------------------------------------------------------
// The conversions and walks the layer does, redone here over the same data
// with the same calls, so that their share of the layer's time shows.

UINT RecordCodePage()
{
    UINT codePage = GetACP();
    if (codePage == 0)
        codePage = GetOEMCP();
    return codePage == 1 ? 0 : codePage;
}

Velum::VelumString Utf16Of(const std::string& text)
{
    const UINT codePage = RecordCodePage();
    const int length =
        MultiByteToWideChar(codePage, MB_PRECOMPOSED, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::vector<wchar_t> wide(static_cast<std::size_t>(length > 0 ? length : 0) + 1);
    MultiByteToWideChar(codePage, MB_PRECOMPOSED, text.data(), static_cast<int>(text.size()), wide.data(),
                        length);
    return Velum::VelumString(reinterpret_cast<const Velum::Velum_CHAR*>(wide.data()),
                              static_cast<unsigned long>(length > 0 ? length : 0));
}

std::string AnsiOf(const Velum::VelumString& text)
{
    const unsigned long units = text.getLength();
    if (units == 0)
        return std::string();
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(static_cast<const Velum::Velum_CHAR*>(text));
    const UINT codePage = RecordCodePage();
    const int length =
        WideCharToMultiByte(codePage, 0, wide, static_cast<int>(units), nullptr, 0, nullptr, nullptr);
    std::string ansi(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
    WideCharToMultiByte(codePage, 0, wide, static_cast<int>(units), &ansi[0], length, nullptr, nullptr);
    return ansi;
}

std::vector<std::string> RecordStrings(const CSettings& settings)
{
    std::vector<std::string> strings;
    for (const CCommandEntry* entry : settings.Commands.GetOrder()) {
        strings.push_back(entry->word);
        for (std::size_t i = 0; i < entry->lines.GetCount(); ++i)
            strings.push_back(korra::ToString(*entry->lines.GetAt(i)));
    }
    for (std::size_t i = 0; i < settings.History.GetCount(); ++i)
        strings.push_back(settings.History.GetAt(i));
    return strings;
}

const Velum::Velum_CHAR* V(const wchar_t* text)
{
    return reinterpret_cast<const Velum::Velum_CHAR*>(text);
}

bool Named(const Velum::Node& node, const wchar_t* name)
{
    return node.getNodeType() == Velum::ELEMENT_NODE && node.getNodeName() == V(name);
}

// The loops of ReadSettingsDocument with nothing read: by index through
// each child list, testing each child's kind and name.
std::uintptr_t WalkByItem(const Velum::Document& document)
{
    std::uintptr_t seen = 0;
    Velum::NodeList top = document.getDocumentElement().getChildNodes();
    for (unsigned long i = 0; i < top.getLength(); ++i) {
        const Velum::Node list = top.item(i);
        if (!Named(list, L"CommandList"))
            continue;
        Velum::NodeList commands = list.getChildNodes();
        for (unsigned long j = 0; j < commands.getLength(); ++j) {
            const Velum::Node command = commands.item(j);
            if (!Named(command, L"command"))
                continue;
            Velum::NodeList lines = command.getChildNodes();
            for (unsigned long k = 0; k < lines.getLength(); ++k)
                seen += Named(lines.item(k), L"commandline") ? 1 : 0;
        }
    }
    return seen;
}

// The same walk over the bodies: no handles, names compared in place.
// (Sibling links would not do: getNextSibling searches the parent's list,
// which makes a walk of a long list quadratic.)
std::uintptr_t WalkBodies(const Velum::Document& document)
{
    auto named = [](const Velum::NodeInst* node, const Velum::VelumString& name) {
        return node->m_type == Velum::ELEMENT_NODE && node->m_name == name;
    };
    auto children = [](const Velum::NodeInst* node) {
        return node->m_children != nullptr ? node->m_children->getLength() : 0ul;
    };
    const Velum::VelumString commandList(V(L"CommandList")), command(V(L"command")),
        commandLine(V(L"commandline"));
    std::uintptr_t seen = 0;
    const Velum::NodeInst* root = static_cast<Velum::NodeInst*>(document.getDocumentElement().getInstance());
    for (unsigned long i = 0; i < children(root); ++i) {
        const Velum::NodeInst* list = root->m_children->item(i);
        if (!named(list, commandList))
            continue;
        for (unsigned long j = 0; j < children(list); ++j) {
            const Velum::NodeInst* entry = list->m_children->item(j);
            if (!named(entry, command))
                continue;
            for (unsigned long k = 0; k < children(entry); ++k)
                seen += named(entry->m_children->item(k), commandLine) ? 1 : 0;
        }
    }
    return seen;
}

// The conversion to UTF-16 as the layer makes it: plain ASCII copied unit
// by unit, other text in one call each, into a buffer kept between calls (a
// code-page-932 byte never makes more than one UTF-16 unit).
bool AllAscii(const std::string& text)
{
    return !HasDoubleByte(text);
}

Velum::VelumString Utf16Into(const std::string& text, std::vector<wchar_t>& buffer)
{
    buffer.resize(text.size() + 1);
    int length = 0;
    if (AllAscii(text)) {
        for (std::size_t i = 0; i < text.size(); ++i)
            buffer[i] = static_cast<wchar_t>(text[i]);
        length = static_cast<int>(text.size());
    } else {
        length = MultiByteToWideChar(RecordCodePage(), MB_PRECOMPOSED, text.data(), static_cast<int>(text.size()),
                                     buffer.data(), static_cast<int>(text.size()));
    }
    return Velum::VelumString(reinterpret_cast<const Velum::Velum_CHAR*>(buffer.data()),
                              static_cast<unsigned long>(length > 0 ? length : 0));
}

// The layer's own conversion back: ASCII copied, the rest through its table
// of every code unit.
void AnsiInto(const Velum::VelumString& text, std::string& out)
{
    WideToAnsi(RecordCodePage(), reinterpret_cast<const wchar_t*>(static_cast<const Velum::Velum_CHAR*>(text)),
               text.getLength(), out);
}

// The tree BuildSettingsDocument makes for the command list and history
// (the few window and other attributes aside) from the record's strings
// already in UTF-16, in RecordStrings' order, through the generic calls:
// every name and text copied into a string of its own node, every append
// through Node handles.
Velum::Document GenericTree(const CSettings& settings, const std::vector<Velum::VelumString>& text)
{
    std::size_t next = 0;
    auto string = [&]() -> const Velum::Velum_CHAR* { return text[next++]; };
    Velum::Document document = Velum::createDocument(V(L"1.0"), V(L"TarnicSettings"), V(L""));
    Velum::Element root = document.getDocumentElement();
    root.appendChild(document.createTextNode(V(L"\r\n\t")));
    Velum::Element list = document.createElement(V(L"CommandList"));
    root.appendChild(list);
    for (const CCommandEntry* entry : settings.Commands.GetOrder()) {
        list.appendChild(document.createTextNode(V(L"\r\n\t\t")));
        Velum::Element command = document.createElement(V(L"command"));
        list.appendChild(command);
        command.setAttribute(V(L"command"), string());
        for (std::size_t i = 0; i < entry->lines.GetCount(); ++i) {
            command.appendChild(document.createTextNode(V(L"\r\n\t\t\t")));
            Velum::Element line = document.createElement(V(L"commandline"));
            command.appendChild(line);
            line.appendChild(document.createTextNode(string()));
        }
        command.appendChild(document.createTextNode(V(L"\r\n\t\t")));
    }
    list.appendChild(document.createTextNode(V(L"\r\n\t")));
    Velum::Element history = document.createElement(V(L"InputHistory"));
    root.appendChild(history);
    for (std::size_t i = 0; i < settings.History.GetCount(); ++i) {
        history.appendChild(document.createTextNode(V(L"\r\n\t\t")));
        Velum::Element input = document.createElement(V(L"input"));
        history.appendChild(input);
        input.appendChild(document.createTextNode(string()));
    }
    return document;
}

// The same tree through the calls the layer makes: names and line breaks
// in strings every node of a kind shares, texts handed over as strings,
// appends that make no handle.
Velum::Document SharedTree(const CSettings& settings, const std::vector<Velum::VelumString>& text)
{
    using Velum::VelumString;
    static const VelumString commandList = VelumString::permanent(V(L"CommandList")),
                             command = VelumString::permanent(V(L"command")),
                             commandLine = VelumString::permanent(V(L"commandline")),
                             inputHistory = VelumString::permanent(V(L"InputHistory")),
                             input = VelumString::permanent(V(L"input")),
                             indent1 = VelumString::permanent(V(L"\r\n\t")),
                             indent2 = VelumString::permanent(V(L"\r\n\t\t")),
                             indent3 = VelumString::permanent(V(L"\r\n\t\t\t"));
    std::size_t next = 0;
    Velum::Document document = Velum::createDocument(V(L"1.0"), V(L"TarnicSettings"), V(L""));
    Velum::Element root = document.getDocumentElement();
    root.append(document.createTextNode(indent1));
    Velum::Element list = document.createElement(commandList);
    root.append(list);
    for (const CCommandEntry* entry : settings.Commands.GetOrder()) {
        list.append(document.createTextNode(indent2));
        Velum::Element element = document.createElement(command);
        list.append(element);
        element.setAttribute(command, text[next++]);
        for (std::size_t i = 0; i < entry->lines.GetCount(); ++i) {
            element.append(document.createTextNode(indent3));
            Velum::Element line = document.createElement(commandLine);
            element.append(line);
            line.append(document.createTextNode(text[next++]));
        }
        element.append(document.createTextNode(indent2));
    }
    list.append(document.createTextNode(indent1));
    Velum::Element history = document.createElement(inputHistory);
    root.append(history);
    for (std::size_t i = 0; i < settings.History.GetCount(); ++i) {
        history.append(document.createTextNode(indent2));
        Velum::Element element = document.createElement(input);
        history.append(element);
        element.append(document.createTextNode(text[next++]));
    }
    return document;
}

// The command table filled from the record's ANSI strings, in
// RecordStrings' order. copied: each command's lines gathered in a list of
// their own and the entry copied in with them (as the layer did before);
// otherwise the entry goes in with its word and gets its lines in place.
std::size_t FillTable(const CSettings& settings, const std::vector<std::string>& strings, bool copied)
{
    CCommandTable table;
    std::size_t next = 0;
    CCommandEntry entry;
    for (const CCommandEntry* source : settings.Commands.GetOrder()) {
        entry.word = strings[next++];
        if (copied) {
            CCommandLinesEx lines;
            for (std::size_t i = 0; i < source->lines.GetCount(); ++i)
                lines.Add(strings[next++]);
            table.Insert(CCommandEntry(entry.word, lines));
        } else {
            table.Insert(entry);
            CCommandLinesEx& lines = table.GetOrder().back()->lines;
            lines.Reserve(source->lines.GetCount());
            for (std::size_t i = 0; i < source->lines.GetCount(); ++i)
                lines.Add(strings[next++]);
        }
    }
    return table.GetCount();
}

// What SaveSettingsFile does with the file beside serializing: the new file
// written (open, lock, serialize) and flushed, the readers waited for, the
// previous file linked to the backup (under a name of its own, renamed over
// the backup), and the rename that writes through. path must hold a file
// already, as a saved settings file does. steps gets the milliseconds of
// the flush, the wait, the link and the rename.
struct SafeSteps {
    double flush = 0, wait = 0, link = 0, rename = 0;
};

bool SafeWrite(const Velum::Document& document, const std::string& path, const std::string& backup,
               SafeSteps* steps)
{
    const std::string temporary = TemporarySettingsPath(path);
    void* file = Velum::openFile(temporary.c_str(), 0x22);
    if (file == nullptr)
        return false;
    bool ok = Velum::lockFile(file, 2 | 4) && Velum::serialize(document, 1, file);
    Clock::time_point start = Clock::now();
    ok = ok && FlushFileBuffers(file);
    steps->flush = MsSince(start);
    ok = Velum::closeFile(file) && ok;
    start = Clock::now();
    if (!ok || GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    void* reader = Velum::openFile(path.c_str(), 0x13);
    if (reader != nullptr) {
        ok = Velum::lockFile(reader, 2 | 4);
        Velum::closeFile(reader);
    }
    steps->wait = MsSince(start);
    start = Clock::now();
    const std::string link = TemporarySettingsPath(backup);
    ok = ok && CreateHardLinkA(link.c_str(), path.c_str(), nullptr) &&
         MoveFileExA(link.c_str(), backup.c_str(), MOVEFILE_REPLACE_EXISTING);
    steps->link = MsSince(start);
    start = Clock::now();
    ok = ok && MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    steps->rename = MsSince(start);
    return ok;
}

// ---------------------------------------------------------------------------
// Measuring

// One timed thing. run does its own untimed preparation and clean-up and
// returns the milliseconds of the timed part, or a negative value when the
// operation failed.
struct Operation {
    std::string name;
    std::function<double()> run;
    std::vector<double> samples;
    int failures = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    int runs = 15;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: settings_file_bench [--runs N]\n");
            return 2;
        }
    }
    if (!Velum::initialize(16, 31, 32)) {
        std::fprintf(stderr, "Velum::initialize failed\n");
        return 1;
    }

    std::string folder;
    if (!bench::CreateScratchFolder("tarnic-settings-", &folder)) {
        std::fprintf(stderr, "cannot create %s\n", folder.c_str());
        return 1;
    }
    // input.xml is what every reader reads; the writers each have their own
    // file, so that none of them changes what the readers see.
    const std::string input = folder + "\\input.xml";
    const std::string inputBackup = folder + "\\input.bak";
    const std::string saved = folder + "\\saved.xml";
    const std::string savedBackup = folder + "\\saved.bak";
    const std::string velumOut = folder + "\\velum.xml";
    const std::string plainOut = folder + "\\plain.xml";
    const std::string safeOut = folder + "\\safe.xml";
    const std::string safeBackup = folder + "\\safe.bak";

    Record record;
    const Clock::time_point fillStart = Clock::now();
    Fill(record);
    const double fillMs = MsSince(fillStart);
    if (!SaveSettingsFile(input, inputBackup, record.settings)) {
        std::fprintf(stderr, "cannot write %s\n", input.c_str());
        bench::RemoveFolder(folder);
        return 1;
    }
    const std::string bytes = ReadBytes(input);
    // The safe write replaces a settings file, as every save but the first.
    WriteBytes(safeOut, bytes);

    // What the layer reads back must be the record, or the figures time
    // different work.
    bool roundTrip = false;
    {
        CSettings loaded;
        std::string reason;
        roundTrip = LoadSettingsFile(input, loaded, &reason) == LoadResult::Loaded &&
                    SameRecord(loaded, record.settings);
    }

    // Kept for the whole run: the tree the bare serialize writes and the one
    // ReadSettingsDocument and the walks read.
    const Velum::Document built = BuildSettingsDocument(record.settings);
    Velum::Document parsed;
    {
        void* file = Velum::openFile(input.c_str(), 0x13);
        if (file != nullptr) {
            Velum::lockFile(file, 1);
            parsed = Velum::parse(file);
            Velum::closeFile(file);
        }
    }
    if (!parsed) {
        std::fprintf(stderr, "Velum cannot parse %s\n", input.c_str());
        bench::RemoveFolder(folder);
        return 1;
    }
    const std::vector<std::string> strings = RecordStrings(record.settings);
    std::vector<Velum::VelumString> wideStrings;
    for (const std::string& text : strings)
        wideStrings.push_back(Utf16Of(text));

    std::vector<Operation> ops;
    auto add = [&](const char* name, std::function<double()> run) {
        ops.push_back({name, std::move(run), {}, 0});
        return ops.size() - 1;
    };
    // Timed where one operation runs, recorded by the operation after it.
    double builtFreeMs = -1;
    double keptMs = -1;

    const std::size_t load = add("LoadSettingsFile", [&] {
        std::unique_ptr<CSettings> target(new CSettings);
        std::string reason;
        const Clock::time_point start = Clock::now();
        const bool ok = LoadSettingsFile(input, *target, &reason) == LoadResult::Loaded;
        const double ms = MsSince(start);
        return ok && target->Commands.GetCount() == kCommandCount ? ms : -1;
    });
    const std::size_t parse = add("Velum parse", [&] {
        const Clock::time_point start = Clock::now();
        void* file = Velum::openFile(input.c_str(), 0x13);
        if (file == nullptr)
            return -1.0;
        Velum::lockFile(file, 1);
        bool ok = false;
        {
            const Velum::Document document = Velum::parse(file);
            ok = static_cast<bool>(document);
        }
        Velum::closeFile(file);
        const double ms = MsSince(start);
        return ok ? ms : -1;
    });
    const std::size_t read = add("plain read", [&] {
        const Clock::time_point start = Clock::now();
        const std::size_t size = ReadBytes(input).size();
        const double ms = MsSince(start);
        return size == bytes.size() ? ms : -1;
    });
    const std::size_t save = add("SaveSettingsFile", [&] {
        const Clock::time_point start = Clock::now();
        const bool ok = SaveSettingsFile(saved, savedBackup, record.settings);
        const double ms = MsSince(start);
        return ok ? ms : -1;
    });
    SafeSteps safeSteps;
    const std::size_t safeWrite = add("Velum serialize and the safe file steps", [&] {
        const Clock::time_point start = Clock::now();
        const bool ok = SafeWrite(built, safeOut, safeBackup, &safeSteps);
        const double ms = MsSince(start);
        return ok ? ms : -1;
    });
    const std::size_t flushStep = add("flush", [&] { return safeSteps.flush; });
    const std::size_t waitStep = add("wait for readers", [&] { return safeSteps.wait; });
    const std::size_t linkStep = add("link to .bak", [&] { return safeSteps.link; });
    const std::size_t renameStep = add("rename", [&] { return safeSteps.rename; });
    const std::size_t serialize = add("Velum serialize", [&] {
        const Clock::time_point start = Clock::now();
        void* file = Velum::openFile(velumOut.c_str(), 0x22);
        if (file == nullptr)
            return -1.0;
        Velum::lockFile(file, 2);
        const bool written = Velum::serialize(built, 1, file);
        const bool closed = Velum::closeFile(file);
        const double ms = MsSince(start);
        return written && closed ? ms : -1;
    });
    const std::size_t write = add("plain write", [&] {
        const Clock::time_point start = Clock::now();
        const bool ok = WriteBytes(plainOut, bytes);
        const double ms = MsSince(start);
        return ok ? ms : -1;
    });
    const std::size_t build = add("BuildSettingsDocument", [&] {
        const Clock::time_point start = Clock::now();
        Velum::Document document = BuildSettingsDocument(record.settings);
        const double ms = MsSince(start);
        const Clock::time_point freeStart = Clock::now();
        document = Velum::Document();
        builtFreeMs = MsSince(freeStart);
        return ms;
    });
    const std::size_t freeBuilt = add("free the built tree", [&] { return builtFreeMs; });
    const std::size_t readDocument = add("ReadSettingsDocument", [&] {
        std::unique_ptr<CSettings> target(new CSettings);
        Clock::time_point start = Clock::now();
        ReadSettingsDocument(parsed, *target);
        const double ms = MsSince(start);
        // LoadSettingsFile keeps a copy of the caller's record, as it was
        // before the file, for a read that fails half-way: a fresh record,
        // as at start-up.
        std::unique_ptr<CSettings> fresh(new CSettings);
        start = Clock::now();
        {
            const CSettings kept(*fresh);
            Consume(kept.Commands.GetCount());
        }
        keptMs = MsSince(start);
        return target->Commands.GetCount() == kCommandCount ? ms : -1;
    });
    const std::size_t kept = add("copy of the caller's record kept", [&] { return keptMs; });
    const std::size_t freeParsed = add("free the parsed tree", [&] {
        void* file = Velum::openFile(input.c_str(), 0x13);
        if (file == nullptr)
            return -1.0;
        Velum::Document document = Velum::parse(file);
        Velum::closeFile(file);
        const Clock::time_point start = Clock::now();
        document = Velum::Document();
        return MsSince(start);
    });
    const std::size_t toUtf16 = add("ANSI to UTF-16", [&] {
        std::uintptr_t units = 0;
        const Clock::time_point start = Clock::now();
        for (const std::string& text : strings)
            units += Utf16Of(text).getLength();
        const double ms = MsSince(start);
        Consume(units);
        return ms;
    });
    const std::size_t toUtf16Once = add("ANSI to UTF-16, one call", [&] {
        std::uintptr_t units = 0;
        std::vector<wchar_t> buffer;
        const Clock::time_point start = Clock::now();
        for (const std::string& text : strings)
            units += Utf16Into(text, buffer).getLength();
        const double ms = MsSince(start);
        Consume(units);
        return ms;
    });
    const std::size_t toAnsi = add("UTF-16 to ANSI", [&] {
        std::uintptr_t length = 0;
        const Clock::time_point start = Clock::now();
        for (const Velum::VelumString& text : wideStrings)
            length += AnsiOf(text).size();
        const double ms = MsSince(start);
        Consume(length);
        return ms;
    });
    const std::size_t toAnsiOnce = add("UTF-16 to ANSI, one call", [&] {
        std::uintptr_t length = 0;
        std::string out;
        const Clock::time_point start = Clock::now();
        for (const Velum::VelumString& text : wideStrings) {
            AnsiInto(text, out);
            length += out.size();
        }
        const double ms = MsSince(start);
        Consume(length);
        return ms;
    });
    const std::size_t walkItem = add("walk by NodeList::item", [&] {
        const Clock::time_point start = Clock::now();
        const std::uintptr_t seen = WalkByItem(parsed);
        const double ms = MsSince(start);
        Consume(seen);
        return seen == record.lines ? ms : -1;
    });
    const std::size_t walkBodies = add("walk over the bodies", [&] {
        const Clock::time_point start = Clock::now();
        const std::uintptr_t seen = WalkBodies(parsed);
        const double ms = MsSince(start);
        Consume(seen);
        return seen == record.lines ? ms : -1;
    });
    const std::size_t treeGeneric = add("tree through the generic calls", [&] {
        const Clock::time_point start = Clock::now();
        Velum::Document document = GenericTree(record.settings, wideStrings);
        return MsSince(start);
    });
    const std::size_t treeShared = add("tree through the layer's calls", [&] {
        const Clock::time_point start = Clock::now();
        Velum::Document document = SharedTree(record.settings, wideStrings);
        return MsSince(start);
    });
    const std::size_t fillCopied = add("table filled, entries copied", [&] {
        const Clock::time_point start = Clock::now();
        const std::size_t count = FillTable(record.settings, strings, true);
        const double ms = MsSince(start);
        return count == kCommandCount ? ms : -1;
    });
    const std::size_t fillInPlace = add("table filled in place", [&] {
        const Clock::time_point start = Clock::now();
        const std::size_t count = FillTable(record.settings, strings, false);
        const double ms = MsSince(start);
        return count == kCommandCount ? ms : -1;
    });

    std::printf("Settings file: %s commands (%s command lines, %zu%% Japanese words, %zu%% lines with "
                "Japanese), %zu history entries; record made in %.0f ms\n",
                Grouped(kCommandCount).c_str(), Grouped(record.lines).c_str(),
                record.japaneseWords * 100 / kCommandCount, record.japaneseLines * 100 / record.lines,
                record.settings.History.GetCount(), fillMs);
    std::printf("file: %s bytes of UTF-8 XML; code page %u; read back %s\n", Grouped(bytes.size()).c_str(),
                GetACP(), roundTrip ? "equal to the record" : "DIFFERENT FROM THE RECORD");
    std::printf("ms, median (min) of %d runs after one warm-up\n", runs);
    std::fflush(stdout);

    for (int run = 0; run <= runs; ++run) {
        for (Operation& op : ops) {
            const double ms = op.run();
            if (ms < 0)
                ++op.failures;
            else if (run > 0)
                op.samples.push_back(ms);
        }
    }

    // The writers must have written the same bytes as the first save, or
    // the save rows compare unequal work.
    const bool sameBytes = ReadBytes(saved) == bytes && ReadBytes(velumOut) == bytes &&
                           ReadBytes(plainOut) == bytes && ReadBytes(safeOut) == bytes;
    if (!bench::RemoveFolder(folder))
        std::fprintf(stderr, "warning: %s could not be removed\n", folder.c_str());

    std::vector<bench::Stats> stats;
    for (const Operation& op : ops)
        stats.push_back(bench::Summarize(op.samples));
    auto median = [&](std::size_t op) { return stats[op].median; };
    auto cell = [&](std::size_t op) {
        return Fixed(stats[op].median, "%.1f") + " (" + Fixed(stats[op].min, "%.1f") + ")";
    };
    auto ratio = [](double a, double b, const char* format) { return Fixed(b > 0 ? a / b : 0, format); };
    const double loadRatio = median(parse) > 0 ? median(load) / median(parse) : 0;
    const double saveRatio = median(serialize) > 0 ? median(save) / median(serialize) : 0;

    std::printf("\n");
    PrintTable({"", "settings layer", "Velum alone", "plain file", "layer / Velum", "(of the mins)", "Velum / plain"},
               {{"load", cell(load), cell(parse), cell(read), Fixed(loadRatio, "%.2fx"),
                 ratio(stats[load].min, stats[parse].min, "%.2fx"), ratio(median(parse), median(read), "%.0fx")},
                {"save", cell(save), cell(serialize), cell(write), Fixed(saveRatio, "%.2fx"),
                 ratio(stats[save].min, stats[serialize].min, "%.2fx"),
                 ratio(median(serialize), median(write), "%.0fx")}});
    std::printf("the minima move least with the machine's load; the target is on the medians\n");

    // The same save against a baseline that does the save's file steps
    // too: what is left above it is the layer's own work.
    const double safeRatio = median(safeWrite) > 0 ? median(save) / median(safeWrite) : 0;
    std::printf("save against Velum's serialize with the same safe file steps (flush, wait for readers, link to "
                ".bak, rename): %s ms, layer / that %.2fx\n",
                cell(safeWrite).c_str(), safeRatio);

    // The parts of each call, each timed by itself; "rest" is what they
    // leave of the call's median (the record kept for a failed read, the
    // file calls around the parse, and noise: it can come out below zero).
    auto part = [&](const char* name, double ms, double whole) {
        return std::vector<std::string>{name, Fixed(ms, "%.1f"), Fixed(100 * ms / whole, "%.0f%%")};
    };
    const double loadMs = median(load);
    const double saveMs = median(save);
    const double fileSteps = median(safeWrite) - median(serialize);
    std::printf("\n");
    PrintTable({"where LoadSettingsFile's time goes", "ms", "share"},
               {part("Velum parse (open, lock, parse, free the tree, close)", median(parse), loadMs),
                part("  of which: free the parsed tree", median(freeParsed), loadMs),
                part("ReadSettingsDocument (tree to record)", median(readDocument), loadMs),
                part("copy of the caller's record kept for a failed read (fresh)", median(kept), loadMs),
                part("rest", loadMs - median(parse) - median(readDocument) - median(kept), loadMs)});
    std::printf("\n");
    PrintTable({"where SaveSettingsFile's time goes", "ms", "share"},
               {part("BuildSettingsDocument (record to tree)", median(build), saveMs),
                part("free the built tree", median(freeBuilt), saveMs),
                part("Velum serialize (open, lock, write, close)", median(serialize), saveMs),
                part("file steps that keep a whole file in place (Velum's serialize with them,", fileSteps,
                     saveMs),
                part("  less the serialize alone), of which: flush the new file", median(flushStep), saveMs),
                part("    wait for readers' locks on the settings file", median(waitStep), saveMs),
                part("    link the settings file to .bak", median(linkStep), saveMs),
                part("    rename with write-through", median(renameStep), saveMs),
                part("rest", saveMs - median(build) - median(freeBuilt) - median(safeWrite), saveMs)});
    std::printf("\n");
    PrintTable({"steps of the layer alone, over the same strings and trees", "generic way", "as the layer"},
               {{"ANSI to UTF-16 of every word, line and entry (layer: ASCII copied, else one call)", cell(toUtf16),
                 cell(toUtf16Once)},
                {"UTF-16 to ANSI of the same (layer: ASCII copied, else a table of every unit, reused string)", cell(toAnsi),
                 cell(toAnsiOnce)},
                {"walk of the command lists (generic: NodeList::item; layer: over the bodies)", cell(walkItem),
                 cell(walkBodies)},
                {"tree from UTF-16 converted beforehand (layer: shared names, no Node handles)", cell(treeGeneric),
                 cell(treeShared)},
                {"command table from ANSI converted beforehand (layer: lines added in place)", cell(fillCopied),
                 cell(fillInPlace)}});
    std::printf("%s strings, %s command lines; the trees are timed without their free, the command tables "
                "with theirs\n",
                Grouped(strings.size()).c_str(), Grouped(record.lines).c_str());

    bool complete = roundTrip && sameBytes;
    if (!sameBytes)
        std::printf("WRITERS DIFFER: the saved, serialized or plainly written bytes are not the first save's\n");
    for (const Operation& op : ops) {
        if (op.failures > 0) {
            std::printf("FAILED: %s failed %d time(s)\n", op.name.c_str(), op.failures);
            complete = false;
        }
    }
    const bool met = complete && loadRatio > 0 && loadRatio <= kLoadTarget && saveRatio > 0 &&
                     saveRatio <= kSaveTarget;
    std::printf("\nTargets: load at most %.1fx Velum's parse (%.2fx), save at most %.1fx Velum's serialize "
                "(%.2fx): %s\n",
                kLoadTarget, loadRatio, kSaveTarget, saveRatio, met ? "met" : "MISSED");
    return complete ? 0 : 1;
}
