// Feeds arbitrary typed lines to the tokenizer: every token of the line in
// turn, as dispatch and the argument splitting take them, and the choice of
// the starting call for the line; and the same bytes as a PATH walked for
// the first token. Beyond what the sanitizers catch, each is checked
// against a plain model: a quoted token ends at the first quote that is
// neither escaped by a backslash (which escapes one whole character) nor
// the second byte of a double-byte character.
#include "Macros.h"
#include "SearchPath.h"
#include "TextRoutines.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

[[noreturn]] void Fail(const char* what, const std::string& text, std::size_t at)
{
    fprintf(stderr, "%s at byte %zu of a %zu-byte line\n", what, at, text.size());
    abort();
}

// Where the model's token starting at `at` ends, and where its rest starts.
void ModelToken(const std::string& text, std::size_t at, std::size_t& tokenBegin, std::size_t& tokenEnd,
                std::size_t& next)
{
    const std::size_t n = text.size();
    const auto lead = [&](std::size_t i) {
        return i + 1 < n && IsDBCSLeadByte(static_cast<BYTE>(text[i]));
    };
    std::size_t i = at;
    if (i < n && text[i] == '"') {
        tokenBegin = ++i;
        while (i < n && text[i] != '"') {
            if (text[i] == '\\') {
                if (++i == n)
                    break;
            }
            i += lead(i) ? 2 : 1;
        }
        tokenEnd = i;
        if (i < n)
            ++i;  // the closing quote
    } else {
        tokenBegin = i;
        while (i < n && text[i] != ' ' && text[i] != '\t')
            ++i;
        tokenEnd = i;
    }
    while (i < n && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    next = i;
}

// 2 for a lead byte with a byte after it, else 1.
std::size_t CharacterSize(const std::string& text, std::size_t i)
{
    return (i + 1 < text.size() && IsDBCSLeadByte(static_cast<BYTE>(text[i]))) ? 2 : 1;
}

// Whether the model's program part of a trimmed line names an ".exe":
// a quoted program up to the quote that ends its token (the whole line
// without one), else up to the first space that begins a character (a tab
// does not end it); its extension follows the last '.' that begins a
// character, or is the whole part without one.
bool ModelNamesExe(const std::string& line)
{
    std::size_t end = line.size();
    if (!line.empty() && line[0] == '"') {
        std::size_t tokenBegin = 0, next = 0;
        ModelToken(line, 0, tokenBegin, end, next);
    } else {
        for (std::size_t i = 0; i < line.size(); i += CharacterSize(line, i)) {
            if (line[i] == ' ') {
                end = i;
                break;
            }
        }
    }
    const std::string part = line.substr(0, end);
    std::size_t extension = 0;
    for (std::size_t i = 0; i < part.size(); i += CharacterSize(part, i)) {
        if (part[i] == '.')
            extension = i + 1;
    }
    std::string folded = part.substr(extension);
    for (char& c : folded)
        c = FoldAscii(c);
    return folded == "EXE";
}

// The places the icon lookup tries along a PATH of these bytes: each piece
// between ';' that begin characters, skipped when empty, with a backslash
// unless its last character is one.
std::vector<std::string> ModelPathCandidates(const std::string& list, const std::string& program)
{
    std::vector<std::string> candidates;
    std::size_t begin = 0, last = 0;
    for (std::size_t i = 0;; i += CharacterSize(list, i)) {
        if (i < list.size() && list[i] != ';') {
            last = i;
            continue;
        }
        if (i > begin) {
            const bool backslash = list[last] == '\\' && last + 1 == i;
            candidates.push_back(list.substr(begin, i - begin) + (backslash ? "" : "\\") + program);
        }
        if (i >= list.size())
            break;
        begin = i + 1;
    }
    return candidates;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Typed text never holds a NUL: the line ends at the first one.
    const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    const char* const begin = text.c_str();
    const char* rest = begin;
    std::size_t at = 0;
    while (rest != nullptr) {
        const char* const before = rest;
        const std::string token = NextToken(rest, &rest);
        std::size_t tokenBegin = 0, tokenEnd = 0, next = 0;
        ModelToken(text, at, tokenBegin, tokenEnd, next);
        if (token != text.substr(tokenBegin, tokenEnd - tokenBegin))
            Fail("token differs from the model", text, at);
        if (rest == nullptr) {
            if (next != text.size())
                Fail("no rest before the end of the line", text, at);
            break;
        }
        if (rest <= before || rest > begin + text.size())
            Fail("rest does not move forward inside the line", text, at);
        at = static_cast<std::size_t>(rest - begin);
        if (at != next)
            Fail("rest differs from the model", text, at);
    }

    // Decides between CreateProcessA and the shell for a trimmed line.
    const std::size_t first = text.find_first_not_of(" \t");
    const bool exe = first != std::string::npos && NamesExeProgram(begin + first);
    if (first != std::string::npos && exe != ModelNamesExe(text.substr(first)))
        Fail("the choice of the starting call differs from the model", text, first);

    // The same bytes as a PATH, searched for the line's first token.
    const std::string program = NextToken(begin, nullptr);
    if (ProgramPathCandidates(text, program) != ModelPathCandidates(text, program))
        Fail("the PATH directories differ from the model", text, 0);
    return 0;
}
