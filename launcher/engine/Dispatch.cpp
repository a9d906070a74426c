#include "Dispatch.h"

#include "CommandTable.h"
#include "Execution.h"
#include "InputHistory.h"
#include "Macros.h"

#include <windows.h>

namespace {

const char* const kReservedWords[] = {"SYSTEM", "EXIT", "SETTING", "HELP", "?", "ABOUT"};

// The line is what follows the word and its blanks, so that the word may
// be typed in quotes too ("SYSTEM" notepad.exe runs notepad.exe, not what
// follows the sixth byte). Nothing after the word: nothing to run.
bool RunSystemLine(const char* rest)
{
    if (rest == nullptr)
        return false;
    std::string line = rest;
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
        return RunSystemLine(rest);
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
