#include "korra/Binding.h"
#include "korra/ListView.h"
#include "korra/Windowing.h"

#include <vector>

namespace korra {

namespace {
HINSTANCE g_resourceInstance = nullptr;
}

HINSTANCE GetResourceInstance()
{
    return g_resourceInstance != nullptr ? g_resourceInstance : ::GetModuleHandleA(nullptr);
}

void SetResourceInstance(HINSTANCE instance)
{
    g_resourceInstance = instance;
}

std::string CWindowingA::GetWindowText() const
{
    if (m_hWnd == nullptr)
        return std::string();
    // The length may count characters, not bytes (a rich edit does), and
    // a text cut inside a double-byte character may come back empty: start
    // with room for two bytes a character and grow until the text fits.
    const int length = GetWindowTextLength();
    if (length <= 0)
        return std::string();
    int capacity = 2 * length + 2;
    for (int attempt = 0; attempt < 8; ++attempt, capacity *= 2) {
        std::vector<char> buffer(static_cast<std::size_t>(capacity), '\0');
        int copied = ::GetWindowTextA(m_hWnd, buffer.data(), capacity);
        if (copied > 0 && copied < capacity - 1)
            return std::string(buffer.data(), static_cast<std::size_t>(copied));
    }
    return std::string();
}

int CListViewA::InsertItem(int index, const char* text, int image)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = index;
    item.pszText = const_cast<char*>(text);
    item.iImage = image;
    return static_cast<int>(SendMessage(LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

std::string CListViewA::GetItemText(int index, int maxBytes) const
{
    return GetItemText(index, 0, maxBytes);
}

BOOL CListViewA::SetItemText(int index, int subItem, const char* text)
{
    LVITEMA item = {};
    item.iSubItem = subItem;
    item.pszText = const_cast<char*>(text);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item)));
}

BOOL CListViewA::SetItemImage(int index, int image)
{
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    item.iImage = image;
    return static_cast<BOOL>(SendMessage(LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

int CListViewA::GetItemImage(int index) const
{
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    if (!SendMessage(LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return -1;
    return item.iImage;
}

BOOL CListViewA::SetItemState(int index, UINT state, UINT mask)
{
    LVITEMA item = {};
    item.state = state;
    item.stateMask = mask;
    return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&item)));
}

void CListViewA::SelectOnly(int index)
{
    SetItemState(-1, 0, LVIS_SELECTED);
    if (index >= 0) {
        SetItemState(index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        EnsureVisible(index);
    }
}

int CListViewA::InsertColumn(int index, const char* text, int width)
{
    LVCOLUMNA column = {};
    column.mask = LVCF_WIDTH | (text != nullptr ? LVCF_TEXT : 0);
    column.cx = width;
    column.pszText = const_cast<char*>(text);
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMNA, index, reinterpret_cast<LPARAM>(&column)));
}

std::string CListViewA::GetItemText(int index, int subItem, int maxBytes) const
{
    std::vector<char> buffer(static_cast<std::size_t>(maxBytes) + 1, '\0');
    LVITEMA item = {};
    item.iSubItem = subItem;
    item.pszText = buffer.data();
    item.cchTextMax = maxBytes + 1;
    if (SendMessage(LVM_GETITEMTEXTA, index, reinterpret_cast<LPARAM>(&item)) <= 0)
        return std::string();
    return std::string(buffer.data());
}

}  // namespace korra
