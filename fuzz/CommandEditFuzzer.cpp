// The command-line rules of the editing dialogs on arbitrary bytes: a stored
// line of any shape (hand-edited settings, a 2.x import), and the two fields
// as a user may fill them. Each line is split as a plain model walking the
// characters from the first byte says; what the dialog composes must split
// back into the fields it came from; and a stored line opened and confirmed
// untouched must come back unchanged, or in the quoted-program form that
// shows the very same fields again, or be refused (never silently changed).
#include "CommandEditing.h"
#include "resource.h"

#include "HexBytes.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

[[noreturn]] void Finding(const char* what, const std::string& text, const std::string& other = "")
{
    fprintf(stderr, "FINDING: %s: [%s] [%s]\n", what, HexBytes(text).c_str(), HexBytes(other).c_str());
    abort();
}

// ---------------------------------------------------------------------------
// The model: characters found by walking from the first byte, a lead byte
// and the byte after it making one.
// ---------------------------------------------------------------------------

bool Lead(const std::string& text, std::size_t i)
{
    const unsigned char b = static_cast<unsigned char>(text[i]);
    return ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) && i + 1 < text.size();
}

std::size_t ModelCount(const std::string& text)
{
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); i += Lead(text, i) ? 2 : 1)
        ++count;
    return count;
}

// The first character c at or after from; npos when none.
std::size_t ModelFind(const std::string& text, char c, std::size_t from)
{
    for (std::size_t i = 0; i < text.size(); i += Lead(text, i) ? 2 : 1) {
        if (i >= from && text[i] == c)
            return i;
    }
    return std::string::npos;
}

bool NamesExe(const std::string& candidate)
{
    std::size_t dot = std::string::npos;
    for (std::size_t i = 0; i < candidate.size(); i += Lead(candidate, i) ? 2 : 1) {
        if (candidate[i] == '.')
            dot = i;
    }
    return dot != std::string::npos && candidate.substr(dot + 1) == "exe";
}

// The program goes into its field only when the dialog can write it back
// as it stands: no double quote in it, no blank it would trim.
bool Writable(const std::string& program)
{
    return program.find('"') == std::string::npos && program[0] != ' ' && program[0] != '\t';
}

CommandLineParts ModelSplit(const std::string& line)
{
    CommandLineParts parts;
    parts.options = line;
    if (line.empty())
        return parts;
    std::string candidate;
    std::size_t rest = 0;
    if (line[0] == '"') {
        const std::size_t closing = ModelFind(line, '"', 1);
        if (closing == std::string::npos)
            return parts;
        candidate = line.substr(1, closing - 1);
        rest = closing + 1;
    } else {
        rest = std::min(ModelFind(line, ' ', 0), line.size());
        candidate = line.substr(0, rest);
    }
    if (!NamesExe(candidate) || !Writable(candidate))
        return parts;
    parts.program = candidate;
    const std::size_t options = line.find_first_not_of(' ', rest);
    parts.options = options == std::string::npos ? std::string() : line.substr(options);
    return parts;
}

// ---------------------------------------------------------------------------

CommandLineParts CheckedSplit(const std::string& line)
{
    const CommandLineParts parts = SplitCommandLine(line);
    const CommandLineParts model = ModelSplit(line);
    if (parts.program != model.program || parts.options != model.options)
        Finding("split differs from the model", line, parts.program + "|" + parts.options);
    return parts;
}

// Composes the fields; checks what any refusal or result must be.
UINT CheckedCompose(const std::string& program, const std::string& options, std::string* line)
{
    const std::string before = "\x01unchanged";
    *line = before;
    const UINT refusal = ComposeCommandLine(program, options, line);
    if (refusal != 0) {
        if (refusal != IDS_ENTER_PROGRAM && refusal != IDS_PROGRAM_QUOTES &&
            refusal != IDS_COMMAND_LINE_TOO_LONG)
            Finding("unknown refusal", program, options);
        if (*line != before)
            Finding("a refusal changed the line", program, options);
        return refusal;
    }
    const std::size_t first = program.find_first_not_of(" \t");
    if (first == std::string::npos) {
        if (*line != options || options.empty())
            Finding("options alone not kept as they are", program, options);
        return 0;
    }
    if ((*line)[0] != '"' || ModelCount(*line) > kCommandLineLimit)
        Finding("a program line unquoted or over the limit", program, *line);
    return 0;
}

// A stored line opened and confirmed without a change: true with *line the
// line to store, false when the dialog refuses it.
bool CheckUntouched(const std::string& stored, std::string* line)
{
    const CommandLineParts parts = CheckedSplit(stored);
    const UINT refusal = CheckedCompose(parts.program, parts.options, line);
    if (parts.program.empty()) {
        if (!stored.empty() && (refusal != 0 || *line != stored))
            Finding("an untouched options line changed", stored, *line);
    } else if (refusal == 0) {
        const CommandLineParts again = CheckedSplit(*line);
        if (again.program != parts.program || again.options != parts.options)
            Finding("an untouched program line lost something", stored, *line);
        if (*line != "\"" + parts.program + "\"" + (parts.options.empty() ? "" : " " + parts.options))
            Finding("an untouched program line not in its quoted form", stored, *line);
    } else if (refusal != IDS_COMMAND_LINE_TOO_LONG) {
        Finding("an untouched program line refused for other than its length", stored, *line);
    }
    return refusal == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider provider(data, size);
    // Texts from a file or a control end at their first NUL.
    const auto text = [&provider] {
        std::string t = provider.ConsumeRandomLengthString(1200);
        return t.substr(0, t.find('\0'));
    };
    const std::string stored = text();
    const std::string program = text();
    const std::string options = text();

    if (CountCharacters(stored) != ModelCount(stored))
        Finding("character count differs", stored);

    std::string line;
    CheckUntouched(stored, &line);

    // Fields as a user fills them: what is composed opens and is confirmed
    // as any stored line, and a second round changes nothing more.
    std::string again, third;
    if (CheckedCompose(program, options, &line) == 0 && CheckUntouched(line, &again)) {
        if (!CheckUntouched(again, &third) || third != again)
            Finding("a composed line still changing", again, third);
    }
    return 0;
}
