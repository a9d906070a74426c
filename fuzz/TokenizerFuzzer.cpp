// Feeds arbitrary typed lines to the tokenizer: every token of the line in
// turn, as dispatch and the argument splitting take them, and the choice of
// the starting call for the line. Beyond what the sanitizers catch, each
// token is checked against a plain model of the scan: a quoted token ends
// at the first quote that is neither escaped by a backslash (which escapes
// one whole character) nor the second byte of a double-byte character.
#include "Macros.h"
#include "TextRoutines.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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
    if (first != std::string::npos)
        (void)NamesExeProgram(begin + first);
    return 0;
}
