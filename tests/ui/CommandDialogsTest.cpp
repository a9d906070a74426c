// The dialogs that edit a command and one of its lines, run modally and
// driven through their real controls by a DialogScript; their message boxes
// are captured and closed, HTML Help requests recorded instead of drawn.
#include "CommandEditing.h"
#include "DialogScript.h"
#include "EditCmdDlg.h"
#include "EntryDlg.h"
#include "Help.h"
#include "MessageBoxCapture.h"
#include "TestFiles.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <htmlhelp.h>

#include <string>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

constexpr int kFileNameBox = 0x47C;  // cmb13: the open-file dialog's name field

struct HelpCall {
    UINT command;
    std::string file;
    UINT textId;
    POINT at;
};
std::vector<HelpCall> g_helpCalls;

HWND WINAPI RecordHelp(HWND, LPCSTR file, UINT command, DWORD_PTR data)
{
    HelpCall call = {command, file ? file : "", 0, {}};
    if (command == HH_DISPLAY_TEXT_POPUP) {
        const auto* popup = reinterpret_cast<const HH_POPUP*>(data);
        call.textId = popup->idString;
        call.at = popup->pt;
    }
    g_helpCalls.push_back(call);
    return nullptr;
}

// The text part of message id, as its box shows it.
std::string MessageText(UINT id)
{
    char entry[512] = {};
    LoadStringA(GetModuleHandleA(nullptr), id, entry, sizeof entry);
    std::string text = entry;
    return text.substr(0, text.find('\x1b'));
}

CCommandEntry Command(const std::string& word, const Strings& lines)
{
    CCommandLinesEx list;
    for (const std::string& line : lines)
        list.Add(line);
    return CCommandEntry(word, list);
}

Strings LinesOf(const CCommandEntry& entry)
{
    Strings lines;
    for (std::size_t i = 0; i < entry.lines.GetCount(); ++i)
        lines.push_back(korra::ToString(*entry.lines.GetAt(i)));
    return lines;
}

Strings Rows(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_COMMAND_LINES);
    Strings rows;
    const int count = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[600] = {};
        LVITEMA item = {};
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(list, LVM_GETITEMTEXTA, i, reinterpret_cast<LPARAM>(&item));
        rows.push_back(text);
    }
    return rows;
}

void SelectRows(HWND dialog, std::initializer_list<int> rows)
{
    HWND list = GetDlgItem(dialog, IDC_COMMAND_LINES);
    ListView_SetItemState(list, -1, 0, LVIS_SELECTED);
    for (int row : rows)
        ListView_SetItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

bool Enabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

class CommandDialogs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
        InitCommonControlsEx(&controls);
    }
    void SetUp() override
    {
        g_helpCalls.clear();
        SetHtmlHelpProc(&RecordHelp);
        folder = FreshTempFolder(std::string("tarnic dialogs ") +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        table.Insert(Command("notepad", {"notepad.exe"}));
        table.Insert(Command("web", {"\"C:\\z\\browser.exe\" -new", "C:\\a\\readme.txt"}));
    }
    void TearDown() override { SetHtmlHelpProc(nullptr); }

    // Runs the script's steps inside the command dialog opened on word.
    INT_PTR RunEditCmd(DialogScript& script, const std::string& word)
    {
        const INT_PTR result = dialog.DoModal(nullptr, word, &table);
        EXPECT_TRUE(script.Done()) << script.Failure();
        return result;
    }
    std::string MakeFile(const std::string& name)
    {
        const std::string path = folder + "\\" + name;
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        CloseHandle(file);
        return path;
    }

    CCommandTable table;
    CEditCmdDlg dialog;
    MessageBoxCapture boxes;
    std::string folder;
};

// ---- The rules, table by table ---------------------------------------------

TEST(CommandLineRules, SplitIntoProgramAndOptions)
{
    const struct {
        std::string line, program, options;
    } cases[] = {
        {"", "", ""},
        {"C:\\Tools\\app.exe -x", "C:\\Tools\\app.exe", "-x"},
        {"C:\\Tools\\app.exe    -a  b ", "C:\\Tools\\app.exe", "-a  b "},
        {"notepad.exe", "notepad.exe", ""},
        {"\"C:\\Program Files\\app.exe\" -a b", "C:\\Program Files\\app.exe", "-a b"},
        {"\"C:\\Program Files\\app.exe\"-a", "C:\\Program Files\\app.exe", "-a"},
        {"\"C:\\Program Files\\app.exe\"", "C:\\Program Files\\app.exe", ""},
        // Only a lower-case "exe" names a program; anything else is opened.
        {"C:\\Tools\\APP.EXE -x", "", "C:\\Tools\\APP.EXE -x"},
        {"C:\\docs\\readme.txt", "", "C:\\docs\\readme.txt"},
        {"\"C:\\My Docs\\a.txt\" -x", "", "\"C:\\My Docs\\a.txt\" -x"},
        {"C:\\my.exe\\tool -x", "", "C:\\my.exe\\tool -x"},
        {"%1", "", "%1"},
        {" app.exe", "", " app.exe"},
        // An unclosed quote keeps the whole line in view.
        {"\"C:\\Tools\\app.exe -x", "", "\"C:\\Tools\\app.exe -x"},
        {Ansi("C:\\予定表\\表.exe -x"), Ansi("C:\\予定表\\表.exe"), "-x"},
        // A program OK could not give back as it stands (blanks would be
        // trimmed, a quote refused) leaves the line whole in the options.
        {"\" C:\\Tools\\app.exe\" -x", "", "\" C:\\Tools\\app.exe\" -x"},
        {"\tC:\\Tools\\app.exe -x", "", "\tC:\\Tools\\app.exe -x"},
        {"C:\\a\"b.exe -x", "", "C:\\a\"b.exe -x"},
    };
    for (const auto& c : cases) {
        const CommandLineParts parts = SplitCommandLine(c.line);
        EXPECT_EQ(c.program, parts.program) << c.line;
        EXPECT_EQ(c.options, parts.options) << c.line;
    }
}

TEST(CommandLineRules, ComposeOrRefuse)
{
    const std::string path248 = "C:\\" + std::string(245, 'p');
    const std::string japanese200 = Ansi("C:\\") + [] {
        std::string text;
        for (int i = 0; i < 197; ++i)
            text += Ansi("あ");
        return text;
    }();
    const struct {
        std::string program, options;
        UINT refusal;
        std::string line;
    } cases[] = {
        {"C:\\Tools\\app.exe", "-x", 0, "\"C:\\Tools\\app.exe\" -x"},
        {"\"C:\\Program Files\\a.exe\"", "", 0, "\"C:\\Program Files\\a.exe\""},
        {"  C:\\Tools\\app.exe\t", "-x", 0, "\"C:\\Tools\\app.exe\" -x"},
        {"", "", IDS_ENTER_PROGRAM, ""},
        {"  ", "", IDS_ENTER_PROGRAM, ""},
        {"", " \"C:\\a.txt\"", 0, " \"C:\\a.txt\""},
        {"", std::string(259, 'o'), 0, std::string(259, 'o')},
        {"\"C:\\a.exe\" -x", "", IDS_PROGRAM_QUOTES, ""},
        {"\"C:\\a.exe", "", IDS_PROGRAM_QUOTES, ""},
        {"\"\"", "-x", IDS_PROGRAM_QUOTES, ""},
        // 250 quoted, a space and 5 make 256; with 4 it is 255.
        {path248, "12345", IDS_COMMAND_LINE_TOO_LONG, ""},
        {path248, "1234", 0, "\"" + path248 + "\" 1234"},
        {path248 + "12345", "", 0, "\"" + path248 + "12345\""},
        {path248 + "123456", "", IDS_COMMAND_LINE_TOO_LONG, ""},
        // Characters count, not bytes: 202 characters in 399 bytes.
        {japanese200, "", 0, "\"" + japanese200 + "\""},
    };
    for (const auto& c : cases) {
        std::string line = "unchanged";
        EXPECT_EQ(c.refusal, ComposeCommandLine(c.program, c.options, &line)) << c.program;
        EXPECT_EQ(c.refusal == 0 ? c.line : "unchanged", line) << c.program;
    }
}

TEST(CommandLineRules, WordChecksInTheirOrder)
{
    CCommandTable table;
    table.Insert(Command("notepad", {"notepad.exe"}));
    std::string japanese255;
    for (int i = 0; i < 255; ++i)
        japanese255 += Ansi("語");
    const struct {
        std::string word, openedWith;
        std::size_t lines;
        UINT refusal;
    } cases[] = {
        {"", "", 0, IDS_ENTER_COMMAND_WORD},
        {std::string(256, 'w'), "", 1, IDS_COMMAND_WORD_TOO_LONG},
        {std::string(255, 'w'), "", 1, 0},
        {japanese255, "", 1, 0},
        {"notepad", "", 1, IDS_COMMAND_EXISTS},
        {"NotePad", "other", 1, IDS_COMMAND_EXISTS},
        {"notepad", "notepad", 1, 0},
        {"NOTEPAD", "notepad", 1, 0},
        {"exit", "", 1, IDS_COMMAND_RESERVED},
        {"?", "", 1, IDS_COMMAND_RESERVED},
        {"Setting", "", 1, IDS_COMMAND_RESERVED},
        {"exit now", "", 1, IDS_COMMAND_HAS_SPACE},
        {"my word", "", 1, IDS_COMMAND_HAS_SPACE},
        {"my\tword", "", 1, IDS_COMMAND_HAS_SPACE},
        {"word\r\n", "", 1, IDS_COMMAND_HAS_SPACE},
        {"notepad x", "", 0, IDS_COMMAND_HAS_SPACE},
        {Ansi("メモ　帳"), "", 1, 0},  // a full-width space ends no word
        {"mail", "", 0, IDS_ENTER_PROGRAM},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.refusal, CheckCommandWord(c.word, c.openedWith, &table, c.lines)) << c.word;
    EXPECT_EQ(0u, CheckCommandWord("notepad", "", nullptr, 1));
}

// ---- The command dialog -----------------------------------------------------

TEST_F(CommandDialogs, RegistersANewCommandWithLinesInTheOrderTheUserGives)
{
    DialogScript script;
    script
        .Then(IDC_COMMAND_WORD,
              [](HWND d) {
                  EXPECT_EQ(Strings{}, Rows(d));
                  EXPECT_FALSE(Enabled(d, IDC_EDIT_LINE));
                  EXPECT_FALSE(Enabled(d, IDC_DELETE_LINE));
                  SetDlgItemTextA(d, IDC_COMMAND_WORD, "mail");
                  ClickButton(d, IDC_ADD_LINE);
              })
        .Then(IDC_PROGRAM,
              [](HWND d) {
                  EXPECT_EQ("", ItemText(d, IDC_PROGRAM));
                  SetDlgItemTextA(d, IDC_PROGRAM, "C:\\Tools\\mailer.exe");
                  SetDlgItemTextA(d, IDC_OPTIONS, "-compose %1");
                  ClickButton(d, IDOK);
              })
        // Insert in the word box adds, as the button does.
        .Then(IDC_COMMAND_WORD, [](HWND d) { PressKey(GetDlgItem(d, IDC_COMMAND_WORD), VK_INSERT); })
        .Then(IDC_PROGRAM,
              [](HWND d) {
                  SetDlgItemTextA(d, IDC_OPTIONS, "C:\\mail\\signature.txt");
                  ClickButton(d, IDOK);
              })
        .Then(IDC_COMMAND_WORD,
              [](HWND d) {
                  EXPECT_EQ((Strings{"\"C:\\Tools\\mailer.exe\" -compose %1", "C:\\mail\\signature.txt"}),
                            Rows(d));
                  // The new row is selected: it can go up at once, not down.
                  EXPECT_TRUE(Enabled(d, IDC_MOVE_LINE_UP));
                  EXPECT_FALSE(Enabled(d, IDC_MOVE_LINE_DOWN));
                  PressKey(GetDlgItem(d, IDC_COMMAND_LINES), VK_UP, true);
              })
        .Then(IDC_COMMAND_WORD, [](HWND d) {
            EXPECT_EQ((Strings{"C:\\mail\\signature.txt", "\"C:\\Tools\\mailer.exe\" -compose %1"}),
                      Rows(d));
            ClickButton(d, IDOK);
        });
    ASSERT_EQ(IDOK, RunEditCmd(script, ""));
    EXPECT_EQ("mail", dialog.GetCommand().word);
    EXPECT_EQ((Strings{"C:\\mail\\signature.txt", "\"C:\\Tools\\mailer.exe\" -compose %1"}),
              LinesOf(dialog.GetCommand()));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(CommandDialogs, EditsAnExistingCommandKeepingItsOrder)
{
    DialogScript script;
    script
        .Then(IDC_COMMAND_WORD,
              [](HWND d) {
                  EXPECT_EQ("WEB", ItemText(d, IDC_COMMAND_WORD));
                  // Stored order, not alphabetical.
                  EXPECT_EQ((Strings{"\"C:\\z\\browser.exe\" -new", "C:\\a\\readme.txt"}), Rows(d));
                  SelectRows(d, {0});
                  EXPECT_TRUE(Enabled(d, IDC_EDIT_LINE));
                  EXPECT_TRUE(Enabled(d, IDC_MOVE_LINE_DOWN));
                  PressKey(GetDlgItem(d, IDC_COMMAND_LINES), VK_F2);
              })
        .Then(IDC_PROGRAM,
              [](HWND d) {
                  EXPECT_EQ("C:\\z\\browser.exe", ItemText(d, IDC_PROGRAM));
                  EXPECT_EQ("-new", ItemText(d, IDC_OPTIONS));
                  SetDlgItemTextA(d, IDC_OPTIONS, "-private");
                  ClickButton(d, IDOK);
              })
        .Then(IDC_COMMAND_WORD,
              [](HWND d) {
                  EXPECT_EQ((Strings{"\"C:\\z\\browser.exe\" -private", "C:\\a\\readme.txt"}), Rows(d));
                  SelectRows(d, {0, 1});
                  EXPECT_FALSE(Enabled(d, IDC_EDIT_LINE));
                  EXPECT_TRUE(Enabled(d, IDC_DELETE_LINE));
                  EXPECT_FALSE(Enabled(d, IDC_MOVE_LINE_UP));
                  PressKey(GetDlgItem(d, IDC_COMMAND_LINES), VK_F2);  // two rows: nothing opens
                  PressKey(GetDlgItem(d, IDC_COMMAND_LINES), VK_DELETE);
              })
        .Then(IDC_COMMAND_WORD, [](HWND d) {
            EXPECT_EQ(Strings{}, Rows(d));
            EXPECT_FALSE(Enabled(d, IDC_DELETE_LINE));
            ClickButton(d, IDCANCEL);
        });
    ASSERT_EQ(IDCANCEL, RunEditCmd(script, "WEB"));
    EXPECT_EQ("", dialog.GetCommand().word);  // cancel changes nothing
}

TEST_F(CommandDialogs, ANewLetterCaseIsTheCommandsOwnWord)
{
    // Renaming it in another letter case is the command's own word.
    DialogScript rename;
    rename.Then(IDC_COMMAND_WORD, [](HWND d) {
        SetDlgItemTextA(d, IDC_COMMAND_WORD, "Web");
        ClickButton(d, IDOK);
    });
    ASSERT_EQ(IDOK, RunEditCmd(rename, "web"));
    EXPECT_EQ("Web", dialog.GetCommand().word);
    EXPECT_EQ((Strings{"\"C:\\z\\browser.exe\" -new", "C:\\a\\readme.txt"}), LinesOf(dialog.GetCommand()));
}

TEST_F(CommandDialogs, RefusesABadWordAndKeepsWhatWasTyped)
{
    const struct {
        std::string word;
        UINT message;
    } cases[] = {
        {"", IDS_ENTER_COMMAND_WORD},
        {"notepad", IDS_COMMAND_EXISTS},
        {"HELP", IDS_COMMAND_RESERVED},
        {"two words", IDS_COMMAND_HAS_SPACE},
        {"tab\tbed", IDS_COMMAND_HAS_SPACE},
        {"fresh", IDS_ENTER_PROGRAM},  // and no line yet
    };
    DialogScript script;
    for (const auto& c : cases) {
        script
            .Then(IDC_COMMAND_WORD,
                  [&c](HWND d) {
                      SetDlgItemTextA(d, IDC_COMMAND_WORD, c.word.c_str());
                      ClickButton(d, IDOK);
                  })
            .Then(IDC_COMMAND_WORD, [&c, this](HWND d) {
                ASSERT_FALSE(boxes.Boxes().empty()) << c.word;
                const CapturedMessageBox& box = boxes.Boxes().back();
                EXPECT_EQ(MessageText(c.message), box.text) << c.word;
                EXPECT_EQ("Pellor Error Information", box.caption) << c.word;
                EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), box.type) << c.word;
                EXPECT_EQ(d, box.owner);
                EXPECT_EQ(c.word, ItemText(d, IDC_COMMAND_WORD));
            });
    }
    // A paste beyond 255 characters is cut, and the user told so.
    const std::string pasted(300, 'w');
    script
        .Then(IDC_COMMAND_WORD,
              [&](HWND d) {
                  SetDlgItemTextA(d, IDC_COMMAND_WORD, "");
                  SendDlgItemMessageA(d, IDC_COMMAND_WORD, EM_REPLACESEL, TRUE,
                                      reinterpret_cast<LPARAM>(pasted.c_str()));
              })
        .Then(IDC_COMMAND_WORD, [this](HWND d) {
            EXPECT_EQ(std::string(255, 'w'), ItemText(d, IDC_COMMAND_WORD));
            ASSERT_FALSE(boxes.Boxes().empty());
            EXPECT_EQ(MessageText(IDS_COMMAND_WORD_TOO_LONG), boxes.Boxes().back().text);
            ClickButton(d, IDCANCEL);
        });
    EXPECT_EQ(IDCANCEL, RunEditCmd(script, ""));
    EXPECT_EQ(std::size(cases) + 1, boxes.Boxes().size());
}

TEST_F(CommandDialogs, DroppedFilesBecomeQuotedRows)
{
    const std::string first = MakeFile("first.exe");
    const std::string second = MakeFile("second doc.txt");
    const std::string tooLong = "C:\\" + std::string(251, 'l');  // 256 with its quotes
    DialogScript script;
    script
        .Then(IDC_COMMAND_WORD,
              [&](HWND d) { DropFiles(GetDlgItem(d, IDC_COMMAND_LINES), {first, folder, second}); })
        .Then(IDC_COMMAND_WORD,
              [&](HWND d) {
                  EXPECT_EQ((Strings{"\"" + first + "\"", "\"" + folder + "\"", "\"" + second + "\""}),
                            Rows(d));
                  DropFiles(GetDlgItem(d, IDC_COMMAND_LINES), {tooLong, first});
              })
        .Then(IDC_COMMAND_WORD, [&](HWND d) {
            EXPECT_EQ(4u, Rows(d).size());
            ASSERT_EQ(1u, boxes.Boxes().size());
            EXPECT_EQ(MessageText(IDS_COMMAND_LINE_TOO_LONG), boxes.Boxes()[0].text);
            EXPECT_EQ("\"" + first + "\"", Rows(d)[3]);
            ClickButton(d, IDCANCEL);
        });
    RunEditCmd(script, "");
}

// ---- The command-line dialog -----------------------------------------------

TEST_F(CommandDialogs, LineDialogRefusesWhatCannotRunAndLosesNothing)
{
    const std::string program = "C:\\" + std::string(245, 'p');
    CEntryDlg entry;
    DialogScript script;
    script
        .Then(IDC_PROGRAM,
              [&](HWND d) {
                  SetDlgItemTextA(d, IDC_PROGRAM, program.c_str());
                  SetDlgItemTextA(d, IDC_OPTIONS, "12345");
                  ClickButton(d, IDOK);
              })
        .Then(IDC_PROGRAM,
              [&](HWND d) {
                  ASSERT_EQ(1u, boxes.Boxes().size());
                  EXPECT_EQ(MessageText(IDS_COMMAND_LINE_TOO_LONG), boxes.Boxes()[0].text);
                  EXPECT_FALSE(boxes.Boxes()[0].captionGiven);  // the system's caption
                  EXPECT_EQ(program, ItemText(d, IDC_PROGRAM));
                  EXPECT_EQ("12345", ItemText(d, IDC_OPTIONS));
                  EXPECT_EQ(GetDlgItem(d, IDC_OPTIONS), GetFocus());
                  SetDlgItemTextA(d, IDC_PROGRAM, "");
                  SetDlgItemTextA(d, IDC_OPTIONS, "");
                  ClickButton(d, IDOK);
              })
        .Then(IDC_PROGRAM,
              [&](HWND d) {
                  ASSERT_EQ(2u, boxes.Boxes().size());
                  EXPECT_EQ(MessageText(IDS_ENTER_PROGRAM), boxes.Boxes()[1].text);
                  SetDlgItemTextA(d, IDC_PROGRAM, "\"C:\\a.exe\" -x");
                  ClickButton(d, IDOK);
              })
        .Then(IDC_PROGRAM, [&](HWND d) {
            ASSERT_EQ(3u, boxes.Boxes().size());
            EXPECT_EQ(MessageText(IDS_PROGRAM_QUOTES), boxes.Boxes()[2].text);
            EXPECT_EQ("\"C:\\a.exe\" -x", ItemText(d, IDC_PROGRAM));
            SetDlgItemTextA(d, IDC_PROGRAM, program.c_str());
            SetDlgItemTextA(d, IDC_OPTIONS, "1234");
            ClickButton(d, IDOK);
        });
    ASSERT_EQ(IDOK, entry.DoModal(nullptr, ""));
    EXPECT_TRUE(script.Done()) << script.Failure();
    EXPECT_EQ("\"" + program + "\" 1234", entry.GetLine());
}

// A stored line of any shape (a hand-edited settings file, a 2.x import),
// opened and confirmed without a change, comes back as it was or in the
// quoted-program form: the fields lose nothing on the way.
TEST_F(CommandDialogs, AnUntouchedLineComesBackWhole)
{
    const std::string longOptions = "C:\\docs\\" + std::string(290, 'o') + ".txt";
    const struct {
        std::string stored, confirmed;
    } cases[] = {
        {"C:\\Tools\\app.exe -x", "\"C:\\Tools\\app.exe\" -x"},
        {"C:\\Tools\\app.exe -x\r\n-y", "\"C:\\Tools\\app.exe\" -x\r\n-y"},
        {"notes.txt\nmore", "notes.txt\nmore"},
        {"\r\nC:\\a.txt", "\r\nC:\\a.txt"},
        {"C:\\a.exe\t-x\t", "C:\\a.exe\t-x\t"},
        {longOptions, longOptions},
        {Ansi("\"C:\\ソ\\表.exe\" -a"), Ansi("\"C:\\ソ\\表.exe\" -a")},
    };
    for (const auto& c : cases) {
        CEntryDlg entry;
        DialogScript script;
        script.Then(IDC_PROGRAM, [](HWND d) { ClickButton(d, IDOK); });
        EXPECT_EQ(IDOK, entry.DoModal(nullptr, c.stored)) << c.stored;
        EXPECT_TRUE(script.Done()) << script.Failure();
        EXPECT_EQ(c.confirmed, entry.GetLine()) << c.stored;
    }
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(CommandDialogs, FilesDroppedOnTheFields)
{
    const std::string tool = MakeFile("tool.exe");
    const std::string a = MakeFile("a.txt");
    const std::string b = MakeFile("b b.txt");
    CEntryDlg entry;
    DialogScript script;
    script
        .Then(IDC_PROGRAM,
              [&](HWND d) {
                  EXPECT_EQ("", ItemText(d, IDC_PROGRAM));
                  EXPECT_EQ("C:\\docs\\plan.txt -x", ItemText(d, IDC_OPTIONS));
                  DropFiles(GetDlgItem(d, IDC_OPTIONS), {a, b});
                  DropFiles(GetDlgItem(d, IDC_PROGRAM), {tool});
              })
        .Then(IDC_PROGRAM,
              [&](HWND d) {
                  EXPECT_EQ("C:\\docs\\plan.txt -x \"" + a + "\" \"" + b + "\"", ItemText(d, IDC_OPTIONS));
                  // A program drop replaces: the field is one path to quote.
                  EXPECT_EQ("\"" + tool + "\"", ItemText(d, IDC_PROGRAM));
                  DropFiles(GetDlgItem(d, IDC_PROGRAM), {a, b});
              })
        .Then(IDC_PROGRAM, [&](HWND d) { DropFiles(GetDlgItem(d, IDC_PROGRAM), {folder}); })
        .Then(IDC_PROGRAM,
              [&](HWND d) { DropFiles(GetDlgItem(d, IDC_OPTIONS), {"C:\\" + std::string(240, 'x')}); })
        .Then(IDC_PROGRAM, [&](HWND d) {
            ASSERT_EQ(3u, boxes.Boxes().size());
            EXPECT_EQ(MessageText(IDS_DROP_ONE_PROGRAM), boxes.Boxes()[0].text);
            EXPECT_EQ(MessageText(IDS_DROP_ONE_PROGRAM), boxes.Boxes()[1].text);
            EXPECT_EQ(MessageText(IDS_DROP_TOO_LONG), boxes.Boxes()[2].text);
            EXPECT_EQ("\"" + tool + "\"", ItemText(d, IDC_PROGRAM));
            ClickButton(d, IDOK);
        });
    ASSERT_EQ(IDOK, entry.DoModal(nullptr, "C:\\docs\\plan.txt -x"));
    EXPECT_TRUE(script.Done()) << script.Failure();
    EXPECT_EQ("\"" + tool + "\" C:\\docs\\plan.txt -x \"" + a + "\" \"" + b + "\"", entry.GetLine());
}

TEST_F(CommandDialogs, BrowsingPutsTheChosenFileInQuotes)
{
    const std::string tool = MakeFile("chosen.exe");
    const std::string doc = MakeFile("chosen.txt");
    CEntryDlg entry;
    DialogScript script;
    script.Then(IDC_PROGRAM, [](HWND d) { ClickButton(d, IDC_BROWSE_PROGRAM); })
        .Then(kFileNameBox,
              [&](HWND d) {
                  char title[256] = {};
                  GetWindowTextA(d, title, sizeof title);
                  EXPECT_EQ(Ansi("起動させるプログラムを指定してください"), title);
                  SetDlgItemTextA(d, kFileNameBox, tool.c_str());
                  ClickButton(d, IDOK);
              })
        .Then(IDC_PROGRAM,
              [&](HWND d) {
                  EXPECT_EQ("\"" + tool + "\"", ItemText(d, IDC_PROGRAM));
                  ClickButton(d, IDC_BROWSE_OPTIONS);
              })
        .Then(kFileNameBox,
              [&](HWND d) {
                  SetDlgItemTextA(d, kFileNameBox, doc.c_str());
                  ClickButton(d, IDOK);
              })
        .Then(IDC_PROGRAM,
              [&](HWND d) {
                  EXPECT_EQ("\"" + doc + "\"", ItemText(d, IDC_OPTIONS));
                  ClickButton(d, IDC_BROWSE_OPTIONS);
              })
        .Then(kFileNameBox, [](HWND d) { ClickButton(d, IDCANCEL); })
        .Then(IDC_PROGRAM, [&](HWND d) {
            EXPECT_EQ("\"" + doc + "\"", ItemText(d, IDC_OPTIONS));  // cancel keeps it
            ClickButton(d, IDOK);
        });
    ASSERT_EQ(IDOK, entry.DoModal(nullptr, ""));
    EXPECT_TRUE(script.Done()) << script.Failure();
    EXPECT_EQ("\"" + tool + "\" \"" + doc + "\"", entry.GetLine());
}

// ---- Context help -----------------------------------------------------------

TEST_F(CommandDialogs, HelpShowsTheTextOfTheControlAsked)
{
    const int commandControls[] = {IDC_COMMAND_WORD, IDC_COMMAND_LINES, IDC_ADD_LINE, IDC_EDIT_LINE,
                                   IDC_DELETE_LINE, IDC_MOVE_LINE_UP, IDC_MOVE_LINE_DOWN};
    const int lineControls[] = {IDC_PROGRAM, IDC_ENTRY_NOTE, IDC_OPTIONS, IDC_BROWSE_PROGRAM,
                                IDC_BROWSE_OPTIONS};
    // What the system sends for a click with the "?" on control, or F1.
    auto askAbout = [](HWND d, HWND control) {
        HELPINFO info = {};
        info.cbSize = sizeof info;
        info.iContextType = HELPINFO_WINDOW;
        info.iCtrlId = GetDlgCtrlID(control);
        info.hItemHandle = control;
        SendMessageA(d, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
    };
    auto expectPopups = [&](HWND d, const int* ids, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            g_helpCalls.clear();
            HWND control = GetDlgItem(d, ids[i]);
            askAbout(d, control);
            ASSERT_EQ(1u, g_helpCalls.size()) << ids[i];
            RECT rect;
            GetWindowRect(control, &rect);
            EXPECT_EQ(static_cast<UINT>(HH_DISPLAY_TEXT_POPUP), g_helpCalls[0].command);
            EXPECT_EQ(static_cast<UINT>(ids[i]), g_helpCalls[0].textId);
            EXPECT_EQ(rect.left, g_helpCalls[0].at.x);
            EXPECT_EQ(rect.top + 20, g_helpCalls[0].at.y);
            char text[1024] = {};
            EXPECT_GT(LoadStringA(GetModuleHandleA(nullptr), ids[i], text, sizeof text), 20) << ids[i];
        }
    };
    DialogScript script;
    script
        .Then(IDC_COMMAND_WORD,
              [&](HWND d) {
                  EXPECT_TRUE(GetWindowLongPtrA(d, GWL_EXSTYLE) & WS_EX_CONTEXTHELP);
                  expectPopups(d, commandControls, std::size(commandControls));
                  // A part of the list (its header) is the list.
                  g_helpCalls.clear();
                  askAbout(d, ListView_GetHeader(GetDlgItem(d, IDC_COMMAND_LINES)));
                  ASSERT_EQ(1u, g_helpCalls.size());
                  EXPECT_EQ(static_cast<UINT>(IDC_COMMAND_LINES), g_helpCalls[0].textId);
                  // OK has no text of its own; the dialog itself opens the contents.
                  g_helpCalls.clear();
                  askAbout(d, GetDlgItem(d, IDOK));
                  EXPECT_TRUE(g_helpCalls.empty());
                  askAbout(d, d);
                  ASSERT_EQ(1u, g_helpCalls.size());
                  EXPECT_EQ(static_cast<UINT>(HH_DISPLAY_TOC), g_helpCalls[0].command);
                  const std::string chm = g_helpCalls[0].file;
                  EXPECT_EQ(ProgramFolder() + "ui_tests.chm", chm);
                  ClickButton(d, IDC_ADD_LINE);
              })
        .Then(IDC_PROGRAM,
              [&](HWND d) {
                  expectPopups(d, lineControls, std::size(lineControls));
                  ClickButton(d, IDCANCEL);
              })
        .Then(IDC_COMMAND_WORD, [](HWND d) { ClickButton(d, IDCANCEL); });
    RunEditCmd(script, "");
}

}  // namespace
