// How long the settings sheet takes to show its Command page with 10,000
// registered commands, and to add one more there.
//
// Open: the sheet created over a real input window until its first page is
// painted: the working copy of the table, the page, its columns and its
// 10,000 rows, and the frame around them. Beside it, in the same rounds, the
// simplest fill of the same rows: a bare list view of the same styles and
// size, three columns, each row inserted and its two texts set one call at a
// time, then painted. Target: the sheet within 1.5 times the bare fill.
// Under Wine that fill redraws the list at every row, so a second baseline
// does the same with the list's drawing off, as the page does.
//
// Add: one new command handed to the open page as its editing dialog would
// (the dialog itself is not timed): the working table, the sorted row and
// the comparison that sets Apply. Target: under 50 ms.
//
// Figures are milliseconds: median and slowest over the rounds.
//   settings_sheet_bench [--rounds N] [--count N] [--quick]

#include "App.h"
#include "BenchSupport.h"
#include "MainWnd.h"
#include "SettingPropSheet.h"
#include "Settings.h"

#include "korra/Binding.h"
#include "korra/ListView.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using bench::Fixed;
using bench::NowMs;
using bench::Random;

std::size_t kCommandCount = 10000;  // --count N for a quick look
bool g_drawingFill = true;           // --quick leaves out the slow baseline
constexpr double kOpenRatioTarget = 1.5;
constexpr double kAddTargetMs = 50.0;

const char* const kSyllables[] = {"ka", "ki", "ku", "ke", "ko", "sa", "shi", "su", "se", "so", "ta", "chi",
                                  "tsu", "te", "to", "na", "ni", "nu", "ne", "no", "ha", "hi", "fu", "he",
                                  "ho", "ma", "mi", "mu", "me", "mo", "ya", "yu", "yo", "ra", "ri", "ru"};

// Unique words of two to four syllables, some with a number, one to three
// command lines each.
void Register(CCommandTable& table, Random& random)
{
    std::unordered_set<std::string> keys;
    while (table.GetCount() < kCommandCount) {
        std::string word;
        const std::size_t syllables = 2 + random.Below(3);
        for (std::size_t i = 0; i < syllables; ++i)
            word += random.Pick(kSyllables);
        if (random.Chance(40))
            word += std::to_string(random.Below(100));
        if (!keys.insert(bench::FoldedKey(word)).second)
            continue;
        CCommandLinesEx lines;
        const std::size_t count = 1 + random.Below(3);
        for (std::size_t i = 0; i < count; ++i)
            lines.Add("\"C:\\Program Files\\" + word + "\\" + word + ".exe\" %" + std::to_string(i));
        table.Insert(CCommandEntry(word, lines));
    }
}

void Pump()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// The rows as the simplest code would put them into a list view; with
// quiet, the same with the list's drawing off while it fills.
double BareFill(const CCommandTable& table, int width, int height, bool quiet)
{
    const double start = NowMs();
    HWND window = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                                  WS_POPUP | WS_VISIBLE | LVS_REPORT | LVS_SORTASCENDING | LVS_NOSORTHEADER |
                                      LVS_SHOWSELALWAYS,
                                  40, 40, width, height, nullptr, nullptr, g_instance, nullptr);
    korra::CListViewA list(window);
    list.SetExtendedListViewStyle(LVS_EX_FULLROWSELECT | LVS_EX_FLATSB | LVS_EX_DOUBLEBUFFER);
    list.InsertColumn(0, "word", width * 3 / 10);
    list.InsertColumn(1, "count", width / 14);
    list.InsertColumn(2, "first line", width / 2);
    if (quiet)
        list.SendMessage(WM_SETREDRAW, FALSE);
    for (const CCommandEntry* entry : table.GetOrder()) {
        const int row = list.InsertItem(list.GetItemCount(), entry->word.c_str());
        list.SetItemText(row, 1, std::to_string(entry->lines.GetCount()).c_str());
        list.SetItemText(row, 2, entry->lines.GetAt(0)->c_str());
    }
    if (quiet)
        list.SendMessage(WM_SETREDRAW, TRUE);
    list.UpdateWindow();
    const double elapsed = NowMs() - start;
    DestroyWindow(window);
    Pump();
    return elapsed;
}

int RoundsFromArguments(int argc, char** argv)
{
    int rounds = 7;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0)
            rounds = std::atoi(argv[i + 1]) > 0 ? std::atoi(argv[i + 1]) : 1;
        if (std::strcmp(argv[i], "--quick") == 0 || std::strcmp(argv[i + 1], "--quick") == 0)
            g_drawingFill = false;
        if (std::strcmp(argv[i], "--count") == 0 && std::atoi(argv[i + 1]) > 0)
            kCommandCount = static_cast<std::size_t>(std::atoi(argv[i + 1]));
    }
    return rounds;
}

// Writing the file is not what is measured.
bool NoSave(const CSettings&)
{
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const int rounds = RoundsFromArguments(argc, argv);
    g_instance = GetModuleHandleA(nullptr);
    korra::SetResourceInstance(g_instance);
    LoadLibraryA("RICHED32.DLL");
    InitCommonControls();
    LookUpLayeredWindowEntry();
    bench::PrintBuildWarnings();

    CSettings settings;
    settings.Stationed = false;
    Random random(20261208);
    Register(settings.Commands, random);

    CMainWnd window(g_instance, &settings);
    window.RegisterWindowClass(g_instance);
    if (window.Create() == nullptr) {
        std::fprintf(stderr, "the input window was not created\n");
        return 1;
    }
    Pump();

    std::vector<double> openMs, bareMs, quietMs, addMs;
    int listWidth = 0, listHeight = 0;
    for (int round = 0; round < rounds; ++round) {
        CSettingPropSheet sheet(&settings);
        sheet.SetSaveFunction(NoSave);
        sheet.SetTargets(window.GetHwnd(), window.GetEdit().GetHwnd());
        const double start = NowMs();
        if (sheet.Create(window.GetHwnd()) == nullptr) {
            std::fprintf(stderr, "the sheet was not created\n");
            return 1;
        }
        sheet.UpdateWindow();
        openMs.push_back(NowMs() - start);

        CPropPageCommand& page = sheet.GetCommandPage();
        if (page.GetList().GetItemCount() != static_cast<int>(kCommandCount)) {
            std::fprintf(stderr, "the page shows %d rows\n", page.GetList().GetItemCount());
            return 1;
        }
        RECT rect = {};
        page.GetList().GetWindowRect(&rect);
        listWidth = rect.right - rect.left;
        listHeight = rect.bottom - rect.top;

        // Three additions a round, each a word not taken yet.
        int added = 0;
        page.SetEditor([&](HWND, const std::string&, const CCommandTable&, CCommandEntry* result) {
            CCommandLinesEx lines;
            lines.Add("\"C:\\Tools\\new.exe\" %1");
            *result = CCommandEntry("zz-new-" + std::to_string(round) + "-" + std::to_string(added++), lines);
            return true;
        });
        for (int i = 0; i < 3; ++i) {
            const double addStart = NowMs();
            page.AddCommand();
            addMs.push_back(NowMs() - addStart);
        }
        sheet.DestroyWindow();
        Pump();

        if (g_drawingFill)
            bareMs.push_back(BareFill(settings.Commands, listWidth, listHeight, false));
        quietMs.push_back(BareFill(settings.Commands, listWidth, listHeight, true));
    }

    const bench::Stats open = bench::Summarize(openMs);
    const bench::Stats bare = bench::Summarize(bareMs);
    const bench::Stats quiet = bench::Summarize(quietMs);
    const bench::Stats add = bench::Summarize(addMs);
    std::printf("Settings sheet, %s commands, %d rounds (ms)\n\n", bench::Grouped(kCommandCount).c_str(), rounds);
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"sheet to Command page", Fixed(open.median, "%.1f"), Fixed(open.percentile, "%.1f"), "", ""});
    if (g_drawingFill)
        rows.push_back({"bare list view fill", Fixed(bare.median, "%.1f"), Fixed(bare.percentile, "%.1f"),
                        Fixed(open.median / bare.median, "%.2fx"), Fixed(kOpenRatioTarget, "%.1fx")});
    rows.push_back({"bare fill, drawing off", Fixed(quiet.median, "%.1f"), Fixed(quiet.percentile, "%.1f"),
                    Fixed(open.median / quiet.median, "%.2fx"), g_drawingFill ? "" : Fixed(kOpenRatioTarget, "%.1fx")});
    rows.push_back({"add one command", Fixed(add.median, "%.2f"), Fixed(add.percentile, "%.2f"), "",
                    Fixed(kAddTargetMs, "< %.0f")});
    bench::PrintTable({"", "median", "slowest", "sheet / this", "target"}, rows);
    return 0;
}
