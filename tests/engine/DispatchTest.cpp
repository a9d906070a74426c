// Dispatch against a recording input window: which operation each input
// calls, what it leaves in the box, and what it reports to the caller.
#include "CommandTable.h"
#include "Dispatch.h"
#include "Execution.h"
#include "InputHistory.h"
#include "RecordingInput.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Calls = std::vector<std::string>;

std::vector<std::string> g_started;

BOOL RecordStart(const std::string& text, bool /*exe*/)
{
    g_started.push_back(text);
    return TRUE;
}

TEST(Dispatch, InputsCallTheirOperationsAndStartTheirLines)
{
    struct Case {
        std::string input;
        bool result;
        Calls calls;
        Calls started = {};  // the lines handed on to be started
    };
    // Longer than one environment string: the line goes on whole and
    // unexpanded (Wine's ANSI expansion gave back seven bytes of it, or
    // crashed on the reference).
    const std::string longArgument(33000, 'y');
    const Case cases[] = {
        {"exit", true, {"HidePopup", "Dismiss"}},
        {"EXIT /p", true, {"HidePopup", "Close"}},
        {"Exit x -P y", true, {"HidePopup", "Close"}},
        {"exit /px", true, {"HidePopup", "Dismiss"}},
        {"exit \"/P\"", true, {"HidePopup", "Close"}},
        {"setting", true, {"HidePopup", "Settings"}},
        {"SETTING now", true, {"HidePopup", "Settings"}},
        {"help", false, {"HidePopup", "Help"}},
        {"?", false, {"HidePopup", "Help"}},
        {"about", true, {"HidePopup", "About"}},
        {"SYSTEM", false, {"HidePopup"}},
        {"system    ", false, {"HidePopup"}},
        {"settings", false, {"HidePopup"}},  // not reserved, not registered
        {"\texit", false, {"HidePopup"}},    // the first token is empty
        {"sYsTeM \t x.exe %%", true, {"HidePopup"}, {"x.exe %"}},
        // A quoted word: the line is what follows it, not what follows the
        // sixth byte of the input.
        {"\"SYSTEM\" notepad.exe", true, {"HidePopup"}, {"notepad.exe"}},
        {"\"system\"notepad", true, {"HidePopup"}, {"notepad"}},
        {"run a", false, {"HidePopup"}, {"x.exe value a"}},
        {"run " + longArgument, false, {"HidePopup"}, {"x.exe %TARNIC_DISPATCH% " + longArgument}},
        {"system x.exe %%TARNIC_DISPATCH%% " + longArgument, true, {"HidePopup"},
         {"x.exe %TARNIC_DISPATCH% " + longArgument}},
    };
    SetEnvironmentVariableA("TARNIC_DISPATCH", "value");
    SetCommandLineStarter(&RecordStart);
    for (const Case& c : cases) {
        RecordingInput input;
        CCommandLinesEx lines;
        lines.Add("x.exe %%TARNIC_DISPATCH%%");
        input.commands.Insert(CCommandEntry("run", lines));
        input.text = c.input;
        g_started.clear();
        EXPECT_EQ(c.result, DispatchInput(input)) << c.input.substr(0, 40);
        EXPECT_EQ(c.calls, input.calls) << c.input.substr(0, 40);
        EXPECT_TRUE(c.started == g_started) << c.input.substr(0, 40);
        EXPECT_EQ("", input.text) << c.input.substr(0, 40);
        EXPECT_EQ(c.input, input.history.GetAt(0));
    }
    SetCommandLineStarter(nullptr);
}

TEST(Dispatch, EmptyOrSpaceLedInputIsRecordedAndLeftAlone)
{
    for (const char* text : {"", " exit", " SYSTEM notepad"}) {
        RecordingInput input;
        input.text = text;
        EXPECT_FALSE(DispatchInput(input));
        EXPECT_EQ(text, input.text);
        EXPECT_TRUE(input.calls.empty());
        EXPECT_EQ(*text == '\0' ? 0u : 1u, input.history.GetCount());
    }
}

TEST(Dispatch, RegisteredAndSystemCommandsStartProgramsForReal)
{
    const std::string folder = FreshTempFolder("tarnic dispatch");
    const std::string recorder = folder + "\\rec.exe";
    ASSERT_TRUE(CopyFileA((ProgramFolder() + "recorder.exe").c_str(), recorder.c_str(), FALSE));
    const std::string records = folder + "\\records.txt";
    SetEnvironmentVariableA("TARNIC_RECORD_FILE", records.c_str());

    RecordingInput input;
    CCommandLinesEx lines;
    lines.Add("\"" + recorder + "\" [%0] [%1]");
    input.commands.Insert(CCommandEntry(Ansi("記録"), lines));
    for (const char* text : {"one", "two"}) {
        input.text = text;
        DispatchInput(input);
    }
    // Browsing stays where it was after other inputs...
    ASSERT_TRUE(input.history.SetPosition(2));
    input.text = "unknown";
    DispatchInput(input);
    EXPECT_EQ(2u, input.history.GetPosition());

    // Arguments fill the macros; the window stays (false). This program
    // waits before it writes, so its record comes after the next one's: the
    // records are compared without regard to their order.
    SetEnvironmentVariableA("TARNIC_RECORD_DELAY", "1500");
    input.text = Ansi("記録 a \"b c\"");
    EXPECT_FALSE(DispatchInput(input));
    SetEnvironmentVariableA("TARNIC_RECORD_DELAY", nullptr);
    // ...and ends once a registered command ran.
    EXPECT_EQ(0u, input.history.GetPosition());
    // SYSTEM runs the rest as a command line and reports a start; argument
    // references and opening block markers stay as typed.
    input.text = "sYsTeM   \"" + recorder + "\" typed %% %0 %9 %A %D";
    EXPECT_TRUE(DispatchInput(input));
    // A line that cannot start reports false and shows nothing.
    input.text = "SYSTEM \"" + folder + "\\missing.exe\"";
    EXPECT_FALSE(DispatchInput(input));

    const std::vector<std::string> started = {"\"" + recorder + "\" [a] [b c]",
                                              "\"" + recorder + "\" typed % %0 %9 %A %D"};
    EXPECT_EQ(started, SortedCommandLines(ParseRecords(WaitForRecords(records, 2))));
}

TEST(Dispatch, IsReservedWordIgnoresAsciiCaseOnly)
{
    for (const char* word : {"SYSTEM", "system", "Exit", "setting", "HELP", "?", "aBoUt"})
        EXPECT_TRUE(IsReservedWord(word)) << word;
    for (const char* word : {"", "SYSTEMS", "EXI", "? ", "ＳＹＳＴＥＭ", "settings"})
        EXPECT_FALSE(IsReservedWord(Ansi(word))) << word;
}

TEST(InputHistory, KeepsTheNewestWithinItsCapacity)
{
    CInputHistory history;
    history.SetCapacity(3);
    for (const char* text : {"A", "A", "B", "A", "C", "D"})
        history.Add(text);
    ASSERT_EQ(3u, history.GetCount());
    EXPECT_EQ("D", history.GetAt(0));
    EXPECT_EQ("C", history.GetAt(1));
    EXPECT_EQ("A", history.GetAt(2));
    // Case matters: "d" is another input.
    history.Add("d");
    EXPECT_EQ("d", history.GetAt(0));
    // Lowering the capacity drops the oldest; 0 keeps nothing at all.
    history.SetCapacity(1);
    EXPECT_EQ(1u, history.GetCount());
    history.SetCapacity(0);
    history.Add("E");
    EXPECT_EQ(0u, history.GetCount());
    history.SetCapacity(1000);
    EXPECT_EQ(CInputHistory::kMaxCapacity, history.GetCapacity());
}

TEST(InputHistory, PositionsAndTheSavedInput)
{
    CInputHistory history;
    history.Add("old");
    history.Add("new");
    history.SetSavedInput("typing");
    EXPECT_EQ("typing", history.GetCurrent());
    EXPECT_TRUE(history.SetPosition(1));
    EXPECT_EQ("new", history.GetCurrent());
    EXPECT_TRUE(history.SetPosition(2));
    EXPECT_EQ("old", history.GetCurrent());
    EXPECT_FALSE(history.SetPosition(3));
    EXPECT_EQ(2u, history.GetPosition());
    // A new entry does not move the position.
    history.Add("newest");
    EXPECT_EQ(2u, history.GetPosition());
    EXPECT_EQ("new", history.GetCurrent());
}

}  // namespace
