#include "Help.h"

#include "ProgramPath.h"
#include "TextRoutines.h"

#include "korra/Binding.h"

#include <htmlhelp.h>

namespace {

HtmlHelpProcA g_testProc = nullptr;

HtmlHelpProcA SystemHtmlHelp()
{
    // Looked up once; a system without hhctrl.ocx gets no help at all.
    static const HtmlHelpProcA proc = [] {
        HMODULE module = LoadLibraryA("hhctrl.ocx");
        return module == nullptr ? nullptr
                                 : reinterpret_cast<HtmlHelpProcA>(reinterpret_cast<void*>(
                                       GetProcAddress(module, "HtmlHelpA")));
    }();
    return proc;
}

void CallHtmlHelp(HWND owner, UINT command, DWORD_PTR data)
{
    HtmlHelpProcA proc = g_testProc != nullptr ? g_testProc : SystemHtmlHelp();
    const std::string path = GetHelpFilePath();
    if (proc != nullptr && !path.empty())
        proc(owner, path.c_str(), command, data);
}

}  // namespace

HtmlHelpProcA SetHtmlHelpProc(HtmlHelpProcA proc)
{
    HtmlHelpProcA previous = g_testProc;
    g_testProc = proc;
    return previous;
}

std::string GetHelpFilePath()
{
    std::string path = GetProgramPath();
    const int dot = FindLastChar(path.c_str(), '.', 0);
    const int slash = FindLastChar(path.c_str(), '\\', 0);
    if (dot < 0 || dot < slash)
        return std::string();
    path.resize(static_cast<std::size_t>(dot) + 1);
    return path + "chm";
}

void ShowHelpContents(HWND owner)
{
    CallHtmlHelp(owner, HH_DISPLAY_TOC, 0);
}

void ShowContextHelp(HWND dialog, const HELPINFO* info)
{
    HWND control = info != nullptr && info->iContextType == HELPINFO_WINDOW
                       ? static_cast<HWND>(info->hItemHandle)
                       : nullptr;
    if (control == nullptr || control == dialog || !IsChild(dialog, control)) {
        ShowHelpContents(dialog);
        return;
    }
    // A part of a control (a list view's header) stands for the control.
    while (GetParent(control) != dialog)
        control = GetParent(control);
    const int id = GetDlgCtrlID(control);
    HINSTANCE instance = korra::GetResourceInstance();
    char probe[4];
    if (id <= 0 || id > 0xFFFF || LoadStringA(instance, static_cast<UINT>(id), probe, sizeof probe) == 0)
        return;

    RECT rect = {};
    GetWindowRect(control, &rect);
    HH_POPUP popup = {};
    popup.cbStruct = sizeof popup;
    popup.hinst = instance;
    popup.idString = static_cast<UINT>(id);
    popup.pt.x = rect.left;
    popup.pt.y = rect.top + 20;
    popup.clrForeground = static_cast<COLORREF>(-1);
    popup.clrBackground = static_cast<COLORREF>(-1);
    popup.rcMargins = {-1, -1, -1, -1};
    CallHtmlHelp(dialog, HH_DISPLAY_TEXT_POPUP, reinterpret_cast<DWORD_PTR>(&popup));
}
