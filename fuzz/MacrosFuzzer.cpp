// The macro expander on arbitrary command lines and typed arguments. The
// input is a command line, then a newline and the typed text after the
// command word (as dispatch hands it on). The typed text is split and
// expanded as a command's run does it, then the command line is expanded
// with every preset and with flags taken from the input, and once more
// without an argument array. Beyond what the sanitizers catch:
// - with every drop bit and no expand bit, no "%" may survive on a
//   character boundary;
// - the result may grow only by what the values put in (arguments and
//   directories), never by itself.
#include "Macros.h"
#include "TextRoutines.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kDropEverything = DROP_ARGS | DROP_IF_ARGS | DROP_IF_NO_ARGS | DROP_SYSTEM_DIR |
                                  DROP_WINDOWS_DIR | DROP_SPACE | DROP_PERCENT;

// Flags of the input's own: a hash of its bytes.
DWORD FlagsOf(const uint8_t* data, size_t size)
{
    std::uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    return hash;
}

std::size_t LongestValue(const std::string* arguments)
{
    static const std::string none[MACRO_ARGUMENT_COUNT];
    if (arguments == nullptr)
        arguments = none;
    char directory[MAX_PATH * 2] = {};
    std::size_t longest = GetWindowsDirectoryA(directory, sizeof directory);
    const std::size_t system = GetSystemDirectoryA(directory, sizeof directory);
    if (system > longest)
        longest = system;
    for (int i = 0; i < MACRO_ARGUMENT_COUNT; ++i) {
        if (arguments[i].size() > longest)
            longest = arguments[i].size();
    }
    return longest;
}

void Expand(const std::string& line, DWORD flags, const std::string* arguments)
{
    std::string text = line;
    bool used[MACRO_ARGUMENT_COUNT] = {};
    if (!ExpandCommandMacros(text, flags, arguments, used))
        abort();
    // Each '%' takes at least two bytes of a macro, which a value replaces.
    std::size_t percents = 0;
    for (char c : line)
        percents += (c == '%');
    if (text.size() > line.size() + percents * LongestValue(arguments)) {
        fprintf(stderr, "flags 0x%08x: %zu bytes grew to %zu\n", static_cast<unsigned>(flags), line.size(),
                text.size());
        abort();
    }
    if (flags == kDropEverything && FindChar(text.c_str(), '%', 0) >= 0) {
        fprintf(stderr, "a '%%' survived at byte %d with every macro dropped\n", FindChar(text.c_str(), '%', 0));
        abort();
    }
    for (int i = 0; i < MACRO_ARGUMENT_COUNT; ++i) {
        if (used[i] && !(flags & EXPAND_ARGS))
            abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    const std::size_t newline = input.find('\n');
    const std::string line = input.substr(0, newline);
    const char* typed = newline == std::string::npos ? nullptr : input.c_str() + newline + 1;

    std::string arguments[MACRO_ARGUMENT_COUNT];
    for (int i = 0; i < MACRO_ARGUMENT_COUNT && typed != nullptr && *typed != '\0'; ++i) {
        arguments[i] = NextToken(typed, &typed);
        ExpandCommandMacros(arguments[i], MACROS_TYPED_ARGUMENT, nullptr, nullptr);
    }

    for (DWORD flags : {MACROS_COMMAND_LINE, MACROS_TYPED_ARGUMENT, MACROS_ICON_LOOKUP,
                        MACROS_SYSTEM_COMMAND, kDropEverything, FlagsOf(data, size)})
        Expand(line, flags, arguments);
    // Callers without typed arguments may pass none at all.
    for (DWORD flags : {MACROS_COMMAND_LINE, MACROS_SYSTEM_COMMAND, FlagsOf(data, size)})
        Expand(line, flags, nullptr);
    return 0;
}
