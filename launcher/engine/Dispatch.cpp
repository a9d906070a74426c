#include "Dispatch.h"

#include "CommandTable.h"
#include "Execution.h"
#include "InputHistory.h"
#include "Macros.h"

#include <windows.h>

namespace {

const char* const kReservedWords[] = {"SYSTEM", "EXIT", "SETTING", "HELP", "?", "ABOUT"};

// The first six bytes of the input are the word SYSTEM in whatever case it
// was typed; the rest, after its spaces, is the line.
bool RunSystemLine(const std::string& text)
{
    std::size_t p = text.size() < 6 ? text.size() : 6;
    while (p < text.size() && text[p] == ' ')
        ++p;
    if (p == text.size())
        return false;
    std::string line = text.substr(p);
    // "%0" to "%9" stay as typed here, but the expander still looks at the
    // argument they name, so it gets ten empty ones.
    const std::string noArguments[MACRO_ARGUMENT_COUNT];
    ExpandCommandMacros(line, MACROS_SYSTEM_COMMAND, noArguments, nullptr);
    return RunCommandLine(line.c_str()) == 1;
}

bool HasCloseSwitch(const char* rest)
{
    while (rest != nullptr) {
        std::string token = NextToken(rest, &rest);
        if (lstrcmpiA(token.c_str(), "/P") == 0 || lstrcmpiA(token.c_str(), "-P") == 0)
            return true;
    }
    return false;
}

}  // namespace

bool IsReservedWord(const std::string& word)
{
    for (const char* reserved : kReservedWords) {
        if (IsSameWord(word, reserved))
            return true;
    }
    return false;
}

bool DispatchInput(CDispatchTarget& input)
{
    const std::string text = input.GetInputText();
    input.GetHistory().Add(text);
    if (text.empty() || text[0] == ' ')
        return false;

    input.HidePopup();
    input.SetInputText("");

    const char* rest = nullptr;
    const std::string word = NextToken(text.c_str(), &rest);

    if (IsSameWord(word, "SYSTEM"))
        return RunSystemLine(text);
    if (IsSameWord(word, "EXIT")) {
        if (HasCloseSwitch(rest))
            input.CloseWindow();
        else
            input.Dismiss();
        return true;
    }
    if (IsSameWord(word, "SETTING")) {
        input.OpenSettingsSheet();
        return true;
    }
    if (IsSameWord(word, "?") || IsSameWord(word, "HELP")) {
        input.ShowHelp();
        return false;
    }
    if (IsSameWord(word, "ABOUT")) {
        input.ShowAboutBox();
        return true;
    }

    CCommandEntry* entry = input.GetCommands().Find(word);
    if (entry == nullptr)
        return false;
    entry->lines.ExecuteWithArguments(rest);
    input.GetHistory().SetPosition(0);
    return false;
}
