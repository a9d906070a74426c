// An input window for dispatch tests: it holds the text and the registered
// commands, and writes down each operation a reserved word calls.
#pragma once

#include "CommandTable.h"
#include "Dispatch.h"
#include "InputHistory.h"

#include <string>
#include <vector>

class RecordingInput final : public CDispatchTarget {
public:
    std::string GetInputText() override { return text; }
    void SetInputText(const char* value) override { text = value; }
    void HidePopup() override { calls.push_back("HidePopup"); }
    void Dismiss() override { calls.push_back("Dismiss"); }
    void CloseWindow() override { calls.push_back("Close"); }
    void OpenSettingsSheet() override { calls.push_back("Settings"); }
    void ShowAboutBox() override { calls.push_back("About"); }
    void ShowHelp() override { calls.push_back("Help"); }
    CCommandTable& GetCommands() override { return commands; }
    CInputHistory& GetHistory() override { return history; }

    std::string text;
    std::vector<std::string> calls;
    CCommandTable commands;
    CInputHistory history;
};
