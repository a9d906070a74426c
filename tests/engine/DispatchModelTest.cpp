// Random typed lines dispatched against random command tables, each compared
// with a plain model of what should happen: the reserved or registered
// command chosen (or none), the operations called, the result, what the box
// and the history keep, each line handed on to be started (in order, with
// its text and whether it names an ".exe") and each failure box between
// them. Nothing starts: a recorder takes the place of CreateProcessA and
// ShellExecuteExA and refuses some lines, so that failures are seen too.
//
// The model keeps the launcher's rules for double-byte text: a lead byte and
// the byte after it are one character, whose two bytes compare exactly
// ("ヂ" is not "ア" although their second bytes are 'a' and 'A'); a
// backslash in quotes escapes a whole character; "%" and a double-byte
// character after it go together.
//
// TARNIC_DISPATCH_SEED and TARNIC_DISPATCH_LINES choose another seed and
// number of typed lines; a difference prints the seed and the typed line.
#include "Execution.h"
#include "Macros.h"
#include "MessageBoxCapture.h"
#include "RecordingInput.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Log = std::vector<std::string>;
const std::size_t npos = std::string::npos;

// ---- The model ----

bool Lead(const std::string& s, std::size_t i)
{
    return i + 1 < s.size() && IsDBCSLeadByte(static_cast<BYTE>(s[i]));
}

std::size_t Step(const std::string& s, std::size_t i)
{
    return Lead(s, i) ? 2 : 1;
}

char Fold(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

// Same length; single-byte characters equal with 'a' to 'z' folded,
// double-byte ones byte for byte.
bool SameWord(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); i += Step(a, i)) {
        if (Lead(a, i) ? a.compare(i, 2, b, i, 2) != 0 : Fold(a[i]) != Fold(b[i]))
            return false;
    }
    return true;
}

// The longest start of s, at most limit bytes, that ends on a character.
std::size_t SafeLength(const std::string& s, std::size_t limit)
{
    std::size_t i = 0;
    while (i < s.size() && i + Step(s, i) <= limit)
        i += Step(s, i);
    return i;
}

// The first character c at or after i (a character boundary), or npos.
std::size_t FindCharacter(const std::string& s, char c, std::size_t i)
{
    for (; i < s.size(); i += Step(s, i)) {
        if (s[i] == c)
            return i;
    }
    return npos;
}

// The token at i and where the rest starts (s.size() when there is none).
std::pair<std::string, std::size_t> Token(const std::string& s, std::size_t i)
{
    std::string token;
    if (i < s.size() && s[i] == '"') {
        std::size_t j = ++i;
        while (j < s.size() && s[j] != '"') {
            if (s[j] == '\\' && ++j == s.size())
                break;
            j += Step(s, j);
        }
        token = s.substr(i, j - i);
        i = j < s.size() ? j + 1 : j;
    } else {
        const std::size_t end = std::min(s.find_first_of(" \t", i), s.size());
        token = s.substr(i, end - i);
        i = end;
    }
    const std::size_t next = s.find_first_not_of(" \t", i);
    return {token, next == npos ? s.size() : next};
}

std::string Directory(bool windows, bool dropBackslash)
{
    char buffer[MAX_PATH * 2] = {};
    if (windows)
        GetWindowsDirectoryA(buffer, sizeof buffer);
    else
        GetSystemDirectoryA(buffer, sizeof buffer);
    std::string directory = buffer;
    std::size_t last = npos;
    for (std::size_t i = 0; i < directory.size(); i += Step(directory, i))
        last = i;
    if (dropBackslash && last != npos && directory[last] == '\\')
        directory.pop_back();
    return directory;
}

const std::string kNoArguments[MACRO_ARGUMENT_COUNT];

// The macros of s expanded under flags, one "%" after the other from the
// start; pos always stands at a character boundary.
std::string Expand(std::string s, DWORD flags, const std::string* args, bool* used)
{
    for (std::size_t pos = FindCharacter(s, '%', 0); pos != npos; pos = FindCharacter(s, '%', pos)) {
        const char c = pos + 1 < s.size() ? s[pos + 1] : '\0';
        DWORD expand = 0, drop = 0;
        std::string value;
        if (c == '%') {
            expand = EXPAND_PERCENT, drop = DROP_PERCENT, value = "%";
        } else if (c == '_') {
            expand = EXPAND_SPACE, drop = DROP_SPACE, value = " ";
        } else if (c >= '0' && c <= '9') {
            expand = EXPAND_ARGS, drop = DROP_ARGS, value = args[c - '0'];
            if ((flags & EXPAND_ARGS) && used != nullptr)
                used[c - '0'] = true;
        } else if (c == 'S' || c == 's') {
            expand = EXPAND_SYSTEM_DIR, drop = DROP_SYSTEM_DIR, value = Directory(false, c == 'S');
        } else if (c == 'W' || c == 'w') {
            expand = EXPAND_WINDOWS_DIR, drop = DROP_WINDOWS_DIR, value = Directory(true, c == 'W');
        } else if (c == 'A' || c == 'D') {
            const DWORD keepBit = c == 'A' ? EXPAND_IF_ARGS : EXPAND_IF_NO_ARGS;
            const DWORD dropBit = c == 'A' ? DROP_IF_ARGS : DROP_IF_NO_ARGS;
            if (!(flags & (keepBit | dropBit))) {
                pos += 2;
                continue;
            }
            const std::string closer = c == 'A' ? "%a" : "%d";
            std::size_t close = pos + 2;
            while (close < s.size() && s.compare(close, 2, closer) != 0)
                close += Step(s, close);
            const bool closed = close < s.size();
            if ((flags & keepBit) && args[0].empty() == (c == 'D')) {
                std::string content = s.substr(pos + 2, close - pos - 2);
                content.resize(SafeLength(content, MACRO_BLOCK_LIMIT));
                s.replace(pos, (closed ? close + 2 : s.size()) - pos, content);
            } else if (closed) {
                s.erase(pos, close + 2 - pos);
            } else {
                s.erase(pos);
                break;
            }
            continue;
        } else {
            s.erase(pos, c == '\0' ? 1 : Lead(s, pos + 1) ? 3 : 2);
            continue;
        }
        if (flags & expand) {
            s.replace(pos, 2, value);
            pos += value.size();
        } else if (flags & drop) {
            s.erase(pos, 2);
        } else {
            pos += 2;
        }
    }
    return s;
}

// The lines of a command as run with rest typed after its word (none: null).
Log Prepare(const Log& lines, const std::string* rest)
{
    std::string args[MACRO_ARGUMENT_COUNT];
    for (std::size_t i = 0, n = 0; rest != nullptr && n < MACRO_ARGUMENT_COUNT && i < rest->size(); ++n) {
        auto token = Token(*rest, i);
        args[n] = Expand(token.first, MACROS_TYPED_ARGUMENT, kNoArguments, nullptr);
        i = token.second;
    }
    Log prepared;
    bool used[MACRO_ARGUMENT_COUNT] = {};
    for (const std::string& line : lines)
        prepared.push_back(Expand(line, MACROS_COMMAND_LINE, args, used));
    if (prepared.size() == 1) {
        for (int n = 0; n < MACRO_ARGUMENT_COUNT && !args[n].empty(); ++n) {
            if (!used[n])
                prepared[0] += ' ' + args[n];
        }
    }
    return prepared;
}

// Windows expands the environment references, in UTF-16; that is not what
// is checked here. What is: text without "%", and text or results longer
// than one environment string (32766 units), come back whole.
std::string Environment(const std::string& line)
{
    const int units = MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, nullptr, 0);
    if (line.find('%') == npos || units > 32767)
        return line;
    std::vector<wchar_t> wide(static_cast<std::size_t>(units)), result(65536);
    MultiByteToWideChar(CP_ACP, 0, line.c_str(), -1, wide.data(), units);
    const DWORD needed = ExpandEnvironmentStringsW(wide.data(), result.data(), static_cast<DWORD>(result.size()));
    if (needed == 0 || needed > 32767)
        return line;
    std::vector<char> ansi(result.size() * 2);
    WideCharToMultiByte(CP_ACP, 0, result.data(), -1, ansi.data(), static_cast<int>(ansi.size()), nullptr, nullptr);
    return ansi.data();
}

// Whether the program part of a trimmed line ends in ".exe", in any case.
bool NamesExe(const std::string& text)
{
    std::size_t end = 0;
    if (text[0] == '"') {
        for (end = 1; end < text.size() && text[end] != '"'; end += Step(text, end)) {
            if (text[end] == '\\' && ++end == text.size())
                break;
        }
    } else {
        end = std::min(FindCharacter(text, ' ', 0), text.size());
    }
    const std::string program = text.substr(0, end);
    std::size_t dot = npos;
    for (std::size_t i = FindCharacter(program, '.', 0); i != npos; i = FindCharacter(program, '.', i + 1))
        dot = i;
    const std::string extension = dot == npos ? program : program.substr(dot + 1);
    return extension.size() == 3 && Fold(extension[0]) == 'E' && Fold(extension[1]) == 'X' &&
           Fold(extension[2]) == 'E';
}

// The recorder refuses about one line in five, chosen by its text.
bool Starts(const std::string& text)
{
    std::uint32_t hash = 2166136261u;
    for (char c : text)
        hash = (hash ^ static_cast<BYTE>(c)) * 16777619u;
    return hash % 5 != 0;
}

std::string StartEvent(const std::string& text, bool exe)
{
    return (exe ? "process: " : "shell: ") + text;
}

std::string BoxEvent(const std::string& text, const std::string* caption)
{
    return "box: " + text + (caption != nullptr ? " | caption: " + *caption : " | no caption");
}

// Message 3006 with the prepared line, as the box gets it: the entry
// formatted and cut to 511 bytes, then split at its ESC.
std::string FailureBox(const std::string& line)
{
    std::string formatted =
        Ansi("プログラムの実行に失敗しました\n登録したプログラムが移動・削除されているかもしれません\n\n") + line +
        "\x1B" "Pellor Error Information";
    formatted.resize(SafeLength(formatted, 511));
    const std::size_t escape = FindCharacter(formatted, '\x1B', 0);
    if (escape == npos)
        return BoxEvent(formatted, nullptr);
    std::string caption = formatted.substr(escape + 1);
    caption.resize(SafeLength(caption, 127));
    return BoxEvent(formatted.substr(0, escape), &caption);
}

// One line handed to RunCommandLine: whether it started.
bool RunLine(const std::string& line, bool boxOnFailure, Log& log)
{
    const std::string expanded = Environment(line);
    const std::size_t first = expanded.find_first_not_of(" \t");
    bool started = false;
    if (first != npos) {
        const std::string text = expanded.substr(first);
        log.push_back(StartEvent(text, NamesExe(text)));
        started = Starts(text);
    }
    if (!started && boxOnFailure)
        log.push_back(FailureBox(line));
    return started;
}

struct Command {
    std::string word;
    Log lines;
};

struct Outcome {
    bool result = false;
    Log calls;
    std::string textAfter;
    bool browsingEnds = false;  // the history's position goes back to 0
    bool reservedWord = false;  // the first word is one of the six
    Log log;                    // lines started and boxes shown, in order
};

Outcome Model(const std::vector<Command>& table, const std::string& text)
{
    Outcome out;
    if (text.empty() || text[0] == ' ') {
        out.textAfter = text;
        return out;
    }
    out.calls = {"HidePopup"};
    const auto first = Token(text, 0);
    const std::string& word = first.first;
    const std::string rest = text.substr(first.second);
    for (const char* reserved : {"SYSTEM", "EXIT", "SETTING", "HELP", "?", "ABOUT"})
        out.reservedWord = out.reservedWord || SameWord(word, reserved);

    if (SameWord(word, "SYSTEM")) {
        if (!rest.empty())
            out.result = RunLine(Expand(rest, MACROS_SYSTEM_COMMAND, kNoArguments, nullptr), false, out.log);
    } else if (SameWord(word, "EXIT")) {
        bool close = false;
        for (std::size_t i = 0; i < rest.size() && !close;) {
            const auto token = Token(rest, i);
            close = SameWord(token.first, "/P") || SameWord(token.first, "-P");
            i = token.second;
        }
        out.calls.push_back(close ? "Close" : "Dismiss");
        out.result = true;
    } else if (SameWord(word, "SETTING")) {
        out.calls.push_back("Settings");
        out.result = true;
    } else if (SameWord(word, "?") || SameWord(word, "HELP")) {
        out.calls.push_back("Help");
    } else if (SameWord(word, "ABOUT")) {
        out.calls.push_back("About");
        out.result = true;
    } else {
        for (auto it = table.rbegin(); it != table.rend(); ++it) {  // the newest of equal words
            if (SameWord(it->word, word)) {
                for (const std::string& line : Prepare(it->lines, rest.empty() ? nullptr : &rest))
                    RunLine(line, true, out.log);
                out.browsingEnds = true;
                break;
            }
        }
    }
    return out;
}

// Completion: the words that start with prefix, newest first, then the
// reserved words offered, each with the launcher's own quoted path.
Log Candidates(const std::vector<Command>& table, const std::string& prefix, bool includeReserved)
{
    Log out;
    const auto startsWith = [&](const std::string& word) {
        return word.size() >= prefix.size() && SameWord(word.substr(0, prefix.size()), prefix);
    };
    if (prefix.empty())
        return out;
    for (auto it = table.rbegin(); it != table.rend(); ++it) {
        if (startsWith(it->word))
            out.push_back(it->word + " = " + (it->lines.empty() ? "" : it->lines[0]));
    }
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    for (const char* reserved : {"SETTING", "SYSTEM", "HELP", "ABOUT", "EXIT"}) {
        if (includeReserved && startsWith(reserved))
            out.push_back(std::string(reserved) + " = \"" + path + '"');
    }
    return out;
}

// ---- What the code does, recorded ----

MessageBoxCapture* g_capture = nullptr;
std::size_t g_boxesLogged = 0;
Log g_log;

void LogNewBoxes()
{
    const auto& boxes = g_capture->Boxes();
    for (; g_boxesLogged < boxes.size(); ++g_boxesLogged) {
        const CapturedMessageBox& box = boxes[g_boxesLogged];
        std::string event = BoxEvent(box.text, box.captionGiven ? &box.caption : nullptr);
        if (box.owner != FindWindowA("Pellor by Qel", nullptr) || box.type != MB_ICONWARNING || box.language != 0)
            event += " (owner, type or language differ)";
        g_log.push_back(event);
    }
}

BOOL RecordStart(const std::string& text, bool exe)
{
    LogNewBoxes();
    g_log.push_back(StartEvent(text, exe));
    return Starts(text) ? TRUE : FALSE;
}

// ---- Random tables and typed lines ----

class Generator {
public:
    explicit Generator(unsigned seed) : m_random(seed) {}

    std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_random); }
    bool OneIn(std::size_t n) { return Below(n) == 0; }
    template <typename T>
    const T& Pick(const std::vector<T>& from) { return from[Below(from.size())]; }

    // A double-byte character, often one whose second byte looks like '\\',
    // '|', '@', '[' or a letter of either case.
    std::string Wide() { return Pick(Kana()); }

    std::string Word()
    {
        static const Log stems = {"note", "notepad", "NOTES", "n", "mail", "m", "ed", "!x", "A", "a1", "sys",
                                  "systems", "exit2", "helper", "about-", "?x", "SETTINGS", "x.exe", "a\\b", "C:"};
        std::string word;
        switch (Below(6)) {
        case 0: word = Wide() + Wide(); break;
        case 1: word = Pick(stems) + Wide(); break;
        case 2: word = Wide() + Pick(stems); break;
        case 3: word = "\xB1" + Pick(stems); break;  // a half-width kana: one byte
        default: word = Pick(stems); break;
        }
        if (OneIn(25))  // words stored by other means than the dialog
            word.insert(Below(word.size() + 1), OneIn(2) ? " " : OneIn(2) ? "\t" : "\"");
        return word;
    }

    std::string Line()
    {
        static const Log programs = {
            "\"C:\\Tools\\edit.exe\"", "\"C:\\My Tools\\x.EXE\"", "notepad", "notepad.exe", "exe", "C:\\Docs\\plan.txt",
            "http://example.org/?q=1", "\"C:\\dir\\\" -x", " \t run.exe", "", "%0", "%%TARNIC_DM%%\\tool.exe",
            "\"%S\\cmd.exe\"", "%W\\notepad.exe", "%A%0%a%Dnone.exe%d", "x.exe\t-t", "http://example.org/a%20b"};
        std::string line = Pick(programs);
        if (OneIn(6))
            line = '"' + Wide() + "\\" + Wide() + (OneIn(2) ? ".exe\"" : "\" x.exe");  // second bytes 0x5C before the quote
        for (std::size_t n = Below(6); n > 0; --n)
            line += (OneIn(8) ? "" : " ") + Option();
        return line;
    }

    std::string Typed(const std::vector<Command>& table)
    {
        static const Log reserved = {"system", "exit", "setting", "help", "?", "about"};
        std::string word;
        switch (Below(12)) {
        case 0: word = Pick(reserved); break;
        case 1: word = "system"; break;
        case 2: word = "exit"; break;
        case 3: word = Word(); break;
        case 4: {  // a prefix: a word of its own or none
            const std::string& whole = Pick(table).word;
            word = whole.substr(0, 1 + Below(whole.size()));
            break;
        }
        case 5: word = '"' + Pick(table).word + '"'; break;
        case 6: word = OneIn(2) ? "" : OneIn(2) ? " " + Word() : "\t" + Word(); break;
        default: word = Pick(table).word; break;
        }
        word = MixCase(word);
        if (OneIn(8) && !word.empty() && word[0] != '"' && word[0] != ' ' && word[0] != '\t')
            word = '"' + word + '"';
        if (word.find_first_of(" \t") != npos && word[0] != '"' && word[0] != ' ' && word[0] != '\t')
            word = '"' + word + '"';
        std::string typed = word;
        for (std::size_t n = OneIn(4) ? 0 : Below(13); n > 0; --n)
            typed += Blanks() + Argument();
        if (OneIn(5))
            typed += Blanks();
        if (OneIn(60))
            typed += '\x83';  // a lone lead byte at the very end
        return typed;
    }

private:
    const Log& Kana()
    {
        // ヂ and ア, ツ and イ: second bytes 'a'/'A', 'c'/'C'. ソ, 表, 能: 0x5C.
        static const Log kana = [] {
            Log list;
            for (const char* c : {"ヂ", "ア", "ツ", "イ", "ソ", "表", "能", "ポ", "ー", "　", "Ａ", "ａ", "％", "＼", "記録", "メモ"})
                list.push_back(Ansi(c));
            return list;
        }();
        return kana;
    }

    std::string Option()
    {
        static const Log options = {"%0", "%1", "%9", "[%2]", "%0%1", "%A-open %0%a", "%D-new%d", "%A", "%D",
                                    "%S", "%s", "%W\\x", "%w", "%_", "%%", "100%", "%x", "%B", "%a", "%d",
                                    "-o", "/P", "\"a b\"", "%%PATH%%", "\\", "%A%Dx%d%0%a", "%D%A%1%a-%d"};
        switch (Below(10)) {
        case 0: return "%" + Wide();
        case 1: return Wide() + "%0" + Wide();
        case 2:  // blocks whose content is cut at 519 bytes, next to a double-byte character
            return OneIn(10) ? "%A" + std::string(517 + Below(3), 'b') + Wide() + "%0%a" : Wide();
        default: return Pick(options);
        }
    }

    std::string Argument()
    {
        static const Log plain = {"a", "b", "notes.txt", "/P", "-p", "/px", "\"/p\"", "%W", "%1", "%_", "%%", "%A", "%",
                                  "\"b c\"", "\"a\\\"b\"", "\"\"", "a\\", "\"unclosed", "x\"y z\"", "C:\\", "%Dq%d", "%S%s"};
        switch (Below(10)) {
        case 0: return Wide() + Wide();
        case 1: return "\"C:\\" + Wide() + "\"";  // a closing quote after a 0x5C second byte
        case 2: return Wide() + "%" + Wide();
        case 3: return OneIn(20) ? Long() : Pick(plain);
        case 4: return OneIn(3) ? Ansi("／Ｐ") : OneIn(2) ? Ansi("-P　") : Pick(plain);
        default: return Pick(plain);
        }
    }

    // Long arguments: single bytes, double-byte text, now and then beyond
    // what one Windows command line holds.
    std::string Long()
    {
        if (OneIn(30))
            return std::string(33000 + Below(10000), 'y');
        std::string text;
        const bool wide = OneIn(2);
        for (std::size_t n = 100 + Below(1500); n > 0; --n)
            text += wide ? Wide() : "z";
        return text;
    }

    std::string Blanks()
    {
        static const Log blanks = {" ", " ", " ", "  ", "\t", " \t ", ""};
        return Pick(blanks);
    }

public:
    std::string MixCase(std::string text)
    {
        for (std::size_t i = 0; i < text.size(); i += Step(text, i)) {
            if (!Lead(text, i) && OneIn(2))
                text[i] = (text[i] >= 'a' && text[i] <= 'z') ? Fold(text[i])
                          : (text[i] >= 'A' && text[i] <= 'Z') ? static_cast<char>(text[i] + 32)
                                                               : text[i];
        }
        return text;
    }

    std::mt19937 m_random;
};

std::string Printable(const std::string& text)
{
    std::string out;
    for (char c : text) {
        const BYTE b = static_cast<BYTE>(c);
        if (b >= 0x20 && b < 0x7F) {
            out += c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", b);
            out += escape;
        }
    }
    return out;
}

unsigned Setting(const char* name, unsigned fallback)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? static_cast<unsigned>(std::strtoul(value, nullptr, 10)) : fallback;
}

TEST(DispatchModel, RandomTypedLinesDoWhatTheModelSays)
{
    const unsigned seed = Setting("TARNIC_DISPATCH_SEED", 20261208);
    const unsigned count = Setting("TARNIC_DISPATCH_LINES", 20000);
    SetEnvironmentVariableA("TARNIC_DM", Ansi("C:\\ツール").c_str());
    MessageBoxCapture capture(MessageBoxCapture::Display::Unshown);
    g_capture = &capture;
    SetCommandLineStarter(&RecordStart);

    // Whatever happens, later tests start programs for real again.
    struct Restore {
        ~Restore()
        {
            SetCommandLineStarter(nullptr);
            g_capture = nullptr;
        }
    } restore;

    Generator random(seed);
    std::size_t differences = 0, registered = 0, starts = 0, boxes = 0, typedCount = 0;
    for (unsigned typed = 0; typed < count && differences < 5;) {
        // A fresh table for every 100 typed lines.
        RecordingInput input;
        std::vector<Command> table;
        const auto addCommand = [&] {
            Command command;
            // Now and then a word already there in another letter case: the
            // newest is the one found, the oldest the one removed.
            command.word = !table.empty() && random.OneIn(10) ? random.MixCase(random.Pick(table).word) : random.Word();
            for (std::size_t lines = random.OneIn(3) ? 1 : random.Below(4); lines > 0; --lines)
                command.lines.push_back(random.Line());
            CCommandLinesEx lines;
            for (const std::string& line : command.lines)
                lines.Add(line);
            EXPECT_EQ(1, input.commands.Insert(CCommandEntry(command.word, lines)));
            table.push_back(command);
        };
        for (std::size_t n = 1 + random.Below(30); n > 0; --n)
            addCommand();
        for (int k = 0; k < 100 && typed < count; ++k, ++typed) {
            if (random.OneIn(15)) {
                addCommand();
            } else if (random.OneIn(15) && table.size() > 1) {
                const std::string word = random.OneIn(4) ? random.Word() : random.MixCase(random.Pick(table).word);
                const auto found = std::find_if(table.begin(), table.end(),
                                                [&](const Command& command) { return SameWord(command.word, word); });
                EXPECT_EQ(found != table.end() ? 1 : 0, input.commands.Remove(word)) << Printable(word);
                if (found != table.end())
                    table.erase(found);
            }
            const std::string text = random.Typed(table);
            const Outcome expected = Model(table, text);
            input.text = text;
            input.calls.clear();
            input.history.SetPosition(input.history.GetCount() > 0 ? 1 : 0);
            const std::size_t positionBefore = input.history.GetPosition();
            g_log.clear();
            capture.Clear();
            g_boxesLogged = 0;

            const bool result = DispatchInput(input);
            LogNewBoxes();

            const bool same = result == expected.result && input.calls == expected.calls &&
                              input.text == expected.textAfter && g_log == expected.log &&
                              input.history.GetPosition() == (expected.browsingEnds ? 0 : positionBefore) &&
                              (text.empty() || input.history.GetAt(0) == text) &&
                              IsReservedWord(Token(text, 0).first) == expected.reservedWord;
            // What completion offers for the first word.
            const bool includeReserved = random.OneIn(2);
            Log offered;
            for (const CCandidate& candidate : input.commands.FindByPrefix(Token(text, 0).first, includeReserved))
                offered.push_back(candidate.word + " = " + candidate.commandLine);
            EXPECT_EQ(Candidates(table, Token(text, 0).first, includeReserved), offered) << Printable(text);
            if (!same) {
                ++differences;
                ADD_FAILURE() << "seed " << seed << ", typed line " << typed << ": [" << Printable(text) << "]";
                EXPECT_EQ(expected.result, result);
                EXPECT_EQ(expected.reservedWord, IsReservedWord(Token(text, 0).first));
                EXPECT_EQ(expected.calls, input.calls);
                EXPECT_EQ(Printable(expected.textAfter), Printable(input.text));
                Log want, got;
                for (const std::string& event : expected.log)
                    want.push_back(Printable(event));
                for (const std::string& event : g_log)
                    got.push_back(Printable(event));
                EXPECT_EQ(want, got);
            }
            ++typedCount;
            registered += expected.browsingEnds;
            starts += g_log.size() - capture.Boxes().size();
            boxes += capture.Boxes().size();

            // A command run without arguments, then its lines run as they
            // stand by the base list, which shows nothing.
            if (random.OneIn(20)) {
                const std::size_t j = random.Below(table.size());
                CCommandLinesEx& lines = input.commands.GetOrder()[j]->lines;
                Log want;
                for (const std::string& line : Prepare(table[j].lines, nullptr))
                    RunLine(line, true, want);
                for (const std::string& line : table[j].lines)
                    RunLine(line, false, want);
                g_log.clear();
                capture.Clear();
                g_boxesLogged = 0;
                EXPECT_FALSE(lines.Execute());
                EXPECT_FALSE(lines.korra::CCommandLinesA::Execute());
                LogNewBoxes();
                EXPECT_EQ(want, g_log) << Printable(table[j].word);
            }
        }
    }
    std::printf("%zu typed lines (seed %u): %zu ran a registered command, %zu lines started, %zu failure boxes\n",
                typedCount, seed, registered, starts, boxes);
}

}  // namespace
