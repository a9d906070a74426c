// What the dialog, property sheet and dialog-control classes keep out of
// their headers.
#include "korra/ChooseDialogs.h"
#include "korra/HeaderCtrl.h"
#include "korra/PropSheetImpl.h"
#include "korra/TabCtrl.h"

#include <dlgs.h>

#include <cstring>
#include <vector>

namespace korra {

// ---- Property sheets -------------------------------------------------------

namespace detail {

namespace {
// Per thread: each thread's PropertySheetA calls back on that thread.
thread_local void* t_creatingSheet = nullptr;
}  // namespace

void SetCreatingSheet(void* sheet)
{
    t_creatingSheet = sheet;
}

void* TakeCreatingSheet()
{
    void* sheet = t_creatingSheet;
    t_creatingSheet = nullptr;
    return sheet;
}

}  // namespace detail

// ---- Header controls -------------------------------------------------------

int CHeaderCtrlA::InsertItem(int index, const char* text, int width, int format)
{
    HDITEMA item = {};
    item.mask = HDI_TEXT | HDI_WIDTH | HDI_FORMAT;
    item.pszText = const_cast<char*>(text != nullptr ? text : "");
    item.cxy = width;
    item.fmt = format | HDF_STRING;
    return static_cast<int>(SendMessage(HDM_INSERTITEMA, index, reinterpret_cast<LPARAM>(&item)));
}

std::string CHeaderCtrlA::GetItemText(int index, int maxBytes) const
{
    std::vector<char> buffer(static_cast<std::size_t>(maxBytes) + 1, '\0');
    HDITEMA item = {};
    item.mask = HDI_TEXT;
    item.pszText = buffer.data();
    item.cchTextMax = maxBytes + 1;
    if (!SendMessage(HDM_GETITEMA, index, reinterpret_cast<LPARAM>(&item)))
        return std::string();
    return std::string(buffer.data());
}

// ---- Tab controls ----------------------------------------------------------

int CTabCtrlA::InsertItem(int index, const char* text)
{
    TCITEMA item = {};
    item.mask = TCIF_TEXT;
    item.pszText = const_cast<char*>(text != nullptr ? text : "");
    return static_cast<int>(SendMessage(TCM_INSERTITEMA, index, reinterpret_cast<LPARAM>(&item)));
}

// ---- Colour and font choosers ----------------------------------------------

CColorChooserA::CColorChooserA()
{
    // White custom slots, as the platform's own dialog starts them.
    for (COLORREF& color : m_custom)
        color = RGB(255, 255, 255);
}

bool CColorChooserA::Choose(HWND owner, COLORREF* color)
{
    CHOOSECOLORA choose = {};
    choose.lStructSize = sizeof(choose);
    choose.hwndOwner = owner;
    choose.rgbResult = *color;
    choose.lpCustColors = m_custom;
    choose.Flags = CC_RGBINIT | CC_FULLOPEN;
    if (!::ChooseColorA(&choose))
        return false;
    *color = choose.rgbResult;
    return true;
}

namespace {

// The colour list and its label stay hidden: the colours have their own
// buttons, and a colour picked here would be ignored.
UINT_PTR CALLBACK FontHook(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) {
        for (int id : {cmb4, stc4}) {
            if (HWND control = ::GetDlgItem(dialog, id))
                ::ShowWindow(control, SW_HIDE);
        }
    }
    return 0;
}

}  // namespace

bool CFontChooserA::Choose(HWND owner, LOGFONTA* font, int* pointTenths)
{
    LOGFONTA chosen = *font;
    CHOOSEFONTA choose = {};
    choose.lStructSize = sizeof(choose);
    choose.hwndOwner = owner;
    choose.lpLogFont = &chosen;
    choose.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_NOVERTFONTS | CF_INITTOLOGFONTSTRUCT | CF_ENABLEHOOK;
    choose.lpfnHook = FontHook;
    if (!::ChooseFontA(&choose))
        return false;
    *font = chosen;
    *pointTenths = choose.iPointSize;
    return true;
}

}  // namespace korra
