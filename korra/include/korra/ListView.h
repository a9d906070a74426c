// List-view controls: items are addressed by index, texts are ANSI.
#pragma once

#include "korra/Windowing.h"

#include <commctrl.h>

#include <string>

namespace korra {

class CListViewA : public CWindowingA {
public:
    explicit CListViewA(HWND window = nullptr) : CWindowingA(window) {}

    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    // The new item's index, or -1.
    int InsertItem(int index, const char* text, int image = I_IMAGENONE);
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
    BOOL DeleteItem(int index) { return static_cast<BOOL>(SendMessage(LVM_DELETEITEM, index)); }
    int GetSelectedCount() const { return static_cast<int>(SendMessage(LVM_GETSELECTEDCOUNT)); }
    // Selects and focuses index alone (-1: clears the selection).
    void SelectOnly(int index);
    // The item's text, at most maxBytes long; "" for an item that does not exist.
    std::string GetItemText(int index, int maxBytes = 260) const;
    BOOL SetItemText(int index, int subItem, const char* text);
    BOOL SetItemImage(int index, int image);
    int GetItemImage(int index) const;
    BOOL SetItemState(int index, UINT state, UINT mask);
    // Index of the next item after start (-1: from the top) with flags, or -1.
    int GetNextItem(int start, UINT flags) const
    {
        return static_cast<int>(SendMessage(LVM_GETNEXTITEM, start, MAKELPARAM(flags, 0)));
    }
    int GetSelectedIndex() const { return GetNextItem(-1, LVNI_SELECTED); }
    BOOL EnsureVisible(int index, BOOL partialOk = FALSE)
    {
        return static_cast<BOOL>(SendMessage(LVM_ENSUREVISIBLE, index, partialOk));
    }
    BOOL GetItemRect(int index, RECT* rect, int code) const
    {
        rect->left = code;
        return static_cast<BOOL>(SendMessage(LVM_GETITEMRECT, index, reinterpret_cast<LPARAM>(rect)));
    }
    BOOL GetItemPosition(int index, POINT* point) const
    {
        return static_cast<BOOL>(
            SendMessage(LVM_GETITEMPOSITION, index, reinterpret_cast<LPARAM>(point)));
    }
    int InsertColumn(int index, const char* text, int width);
    BOOL SetColumnWidth(int column, int width)
    {
        return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width, 0)));
    }
    int GetColumnWidth(int column) const
    {
        return static_cast<int>(SendMessage(LVM_GETCOLUMNWIDTH, column));
    }
    BOOL SetBkColor(COLORREF color) { return static_cast<BOOL>(SendMessage(LVM_SETBKCOLOR, 0, color)); }
    BOOL SetTextColor(COLORREF color) { return static_cast<BOOL>(SendMessage(LVM_SETTEXTCOLOR, 0, color)); }
    BOOL SetTextBkColor(COLORREF color)
    {
        return static_cast<BOOL>(SendMessage(LVM_SETTEXTBKCOLOR, 0, color));
    }
    // The list's previous image list of that kind; it is not freed.
    HIMAGELIST SetImageList(HIMAGELIST images, int kind)
    {
        return reinterpret_cast<HIMAGELIST>(
            SendMessage(LVM_SETIMAGELIST, kind, reinterpret_cast<LPARAM>(images)));
    }
    DWORD SetExtendedListViewStyle(DWORD style, DWORD mask = 0)
    {
        return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style));
    }

    // The text of one column (subItem 0 the item itself), at most maxBytes
    // long; "" when there is none.
    std::string GetItemText(int index, int subItem, int maxBytes) const;
    // Makes room for count items before a long fill.
    void SetItemCount(int count) { SendMessage(LVM_SETITEMCOUNT, count); }
};

}  // namespace korra
