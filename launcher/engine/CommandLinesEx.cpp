#include "CommandLinesEx.h"

#include "Execution.h"
#include "Macros.h"
#include "ProgramNames.h"
#include "ResourceMessage.h"
#include "resource.h"

int CCommandLinesEx::GetIconIndex(bool smallIcon, bool selected, HIMAGELIST* imageList) const
{
    if (GetCount() == 0)
        return -1;
    std::string line = korra::ToString(*GetAt(0));
    const std::string noArguments[MACRO_ARGUMENT_COUNT];
    ExpandCommandMacros(line, MACROS_ICON_LOOKUP, noArguments, nullptr);
    return LookUpIcon(line, smallIcon, selected, imageList);
}

bool CCommandLinesEx::Execute()
{
    return ExecuteWithArguments(nullptr);
}

bool CCommandLinesEx::IsEqual(const CCommandLinesEx& other) const
{
    return korra::CCommandLinesA::IsEqual(other);
}

bool CCommandLinesEx::IsNotEqual(const CCommandLinesEx& other) const
{
    const korra::CCommandLinesA& base = other;
    return !IsEqual(base);  // through the table, as the base's own negation
}

std::vector<std::string> CCommandLinesEx::PrepareLines(const char* arguments) const
{
    std::string typed[MACRO_ARGUMENT_COUNT];
    if (arguments != nullptr) {
        // Each typed argument gets its own, narrower expansion first.
        const std::string none[MACRO_ARGUMENT_COUNT];
        const char* rest = arguments;
        for (int i = 0; i < MACRO_ARGUMENT_COUNT && rest != nullptr && *rest != '\0'; ++i) {
            typed[i] = NextToken(rest, &rest);
            ExpandCommandMacros(typed[i], MACROS_TYPED_ARGUMENT, none, nullptr);
        }
    }

    std::vector<std::string> lines;
    lines.reserve(GetCount());
    bool used[MACRO_ARGUMENT_COUNT] = {};
    for (std::size_t i = 0; i < GetCount(); ++i) {
        lines.push_back(korra::ToString(*GetAt(i)));
        ExpandCommandMacros(lines.back(), MACROS_COMMAND_LINE, typed, used);
    }

    // A one-line command that does not place its arguments itself gets them
    // appended.
    if (lines.size() == 1 && !typed[0].empty()) {
        for (int i = 0; i < MACRO_ARGUMENT_COUNT && !typed[i].empty(); ++i) {
            if (!used[i]) {
                lines.front() += ' ';
                lines.front() += typed[i];
            }
        }
    }
    return lines;
}

bool CCommandLinesEx::ExecuteWithArguments(const char* arguments)
{
    for (const std::string& line : PrepareLines(arguments)) {
        if (!RunCommandLine(line.c_str())) {
            ShowResourceMessage(GetModuleHandleA(nullptr), FindWindowA(MAIN_WINDOW_CLASS, nullptr),
                                IDS_EXECUTE_FAILED, MB_ICONWARNING, 0, line.c_str());
        }
    }
    return false;
}
