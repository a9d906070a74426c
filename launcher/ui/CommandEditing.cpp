#include "CommandEditing.h"

#include "TextRoutines.h"
#include "resource.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string Trim(const std::string& text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first]))
        ++first;
    while (last > first && IsBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

}  // namespace

std::size_t CountCharacters(const std::string& text)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i, ++characters) {
        if (IsLeadByteAt(text.c_str(), i))
            ++i;
    }
    return characters;
}

CommandLineParts SplitCommandLine(const std::string& line)
{
    CommandLineParts parts;
    if (line.empty())
        return parts;
    std::string candidate;
    std::size_t rest = 0;
    if (line[0] == '"') {
        const int closing = FindChar(line.c_str(), '"', 1);
        if (closing < 0) {
            // The user sees the unfinished line rather than two empty
            // fields, and can mend it.
            parts.options = line;
            return parts;
        }
        candidate = line.substr(1, static_cast<std::size_t>(closing) - 1);
        rest = static_cast<std::size_t>(closing) + 1;
    } else {
        const int space = FindChar(line.c_str(), ' ', 0);
        rest = space < 0 ? line.size() : static_cast<std::size_t>(space);
        candidate = line.substr(0, rest);
    }
    // A program the dialog could not write back as it stands (ComposeCommandLine
    // refuses a double quote in it and drops blanks around it) would change
    // a line the user never touched: such a line opens whole in the options,
    // which are kept as they are.
    const bool writable = candidate.find('"') == std::string::npos && !IsBlank(candidate[0]);
    const int dot = FindLastChar(candidate.c_str(), '.', 0);
    if (writable && dot >= 0 &&
        candidate.compare(static_cast<std::size_t>(dot) + 1, std::string::npos, "exe") == 0) {
        parts.program = candidate;
        const std::size_t options = line.find_first_not_of(' ', rest);
        if (options != std::string::npos)
            parts.options = line.substr(options);
    } else {
        parts.options = line;
    }
    return parts;
}

UINT ComposeCommandLine(const std::string& program, const std::string& options,
                        std::string* line)
{
    std::string quoted = Trim(program);
    if (quoted.empty()) {
        if (options.empty())
            return IDS_ENTER_PROGRAM;
        *line = options;
        return 0;
    }
    // One pair around the path at most: a quote anywhere else would make
    // the stored line split elsewhere than the user meant.
    const bool enclosed = quoted.size() >= 3 && quoted.front() == '"' && quoted.back() == '"';
    const std::string path = enclosed ? quoted.substr(1, quoted.size() - 2) : quoted;
    if (path.find('"') != std::string::npos)
        return IDS_PROGRAM_QUOTES;
    quoted = "\"" + path + "\"";
    std::string composed = quoted;
    if (!options.empty())
        composed += " " + options;
    if (CountCharacters(composed) > kCommandLineLimit)
        return IDS_COMMAND_LINE_TOO_LONG;
    *line = composed;
    return 0;
}
