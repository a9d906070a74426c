// What happens when the user presses Enter in the input window.
#pragma once

#include <string>

class CCommandTable;
class CInputHistory;

// The input window as dispatch sees it: its text, its pop-up list, the
// registered commands and history, and the operations reserved words call.
class CDispatchTarget {
public:
    virtual std::string GetInputText() = 0;
    virtual void SetInputText(const char* text) = 0;
    virtual void HidePopup() = 0;
    // Resident: hide the input window; otherwise close it (ends the program).
    virtual void Dismiss() = 0;
    // Closes the input window whatever the mode (EXIT /P).
    virtual void CloseWindow() = 0;
    virtual void OpenSettingsSheet() = 0;
    virtual void ShowAboutBox() = 0;
    virtual void ShowHelp() = 0;
    virtual CCommandTable& GetCommands() = 0;
    virtual CInputHistory& GetHistory() = 0;

protected:
    ~CDispatchTarget() = default;
};

// Records the input, then runs the reserved word or registered command it
// starts with. True when the caller should hide the input window: a reserved
// command that acted (SYSTEM only when its line started). False for HELP, an
// unknown word, a registered command (it stays visible) and an input that is
// empty or begins with a space, which is left in the box untouched.
bool DispatchInput(CDispatchTarget& input);

// True for SYSTEM, EXIT, SETTING, HELP, ? and ABOUT, in any ASCII case.
bool IsReservedWord(const std::string& word);
