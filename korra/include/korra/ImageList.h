// Image lists. Who frees the list is in the type: CImageList destroys the
// list it holds, CImageListRef uses one that someone else frees (the
// system image list, a list a control was given).
#pragma once

#include <windows.h>

#include <commctrl.h>

namespace korra {

// The operations; holds the handle, never frees it.
class CImageListBase {
public:
    explicit CImageListBase(HIMAGELIST images = nullptr) : m_hImageList(images) {}

    HIMAGELIST GetHandle() const { return m_hImageList; }
    bool IsNull() const { return m_hImageList == nullptr; }

    // The new image's index, or -1. The list keeps a copy: the icon stays
    // the caller's to destroy.
    int AddIcon(HICON icon) { return ::ImageList_ReplaceIcon(m_hImageList, -1, icon); }
    // 0 for a null list.
    int GetImageCount() const { return ::ImageList_GetImageCount(m_hImageList); }
    // False for a null list; the sizes are then untouched.
    bool GetIconSize(int* width, int* height) const
    {
        return ::ImageList_GetIconSize(m_hImageList, width, height) != FALSE;
    }
    // style: ILD_NORMAL, ILD_TRANSPARENT, ILD_SELECTED...
    bool Draw(int index, HDC dc, int x, int y, UINT style = ILD_NORMAL) const
    {
        return ::ImageList_Draw(m_hImageList, index, dc, x, y, style) != FALSE;
    }

protected:
    HIMAGELIST m_hImageList;  // owned only as CImageListImpl<true> says
};

namespace detail {
// Two owners of one list would destroy it twice.
template <bool copyable>
struct CopyableIf {};
template <>
struct CopyableIf<false> {
    CopyableIf() = default;
    CopyableIf(const CopyableIf&) = delete;
    CopyableIf& operator=(const CopyableIf&) = delete;
};
}  // namespace detail

template <bool owns>
class CImageListImpl : public CImageListBase, private detail::CopyableIf<!owns> {
public:
    explicit CImageListImpl(HIMAGELIST images = nullptr) : CImageListBase(images) {}
    ~CImageListImpl()
    {
        if constexpr (owns)
            Destroy();
    }
    // A new empty list in place of the held one (destroyed when owned);
    // false when the list could not be made, the object is then null.
    // flags: ILC_COLOR32 | ILC_MASK for icons.
    bool Create(int width, int height, UINT flags, int initial, int grow)
    {
        Attach(::ImageList_Create(width, height, flags, initial, grow));
        return m_hImageList != nullptr;
    }
    // Takes the list; the held one is destroyed when owned.
    void Attach(HIMAGELIST images)
    {
        if (owns && m_hImageList != nullptr && m_hImageList != images)
            ::ImageList_Destroy(m_hImageList);
        m_hImageList = images;
    }
    // The list, no longer held; the caller frees it when it should.
    HIMAGELIST Detach()
    {
        HIMAGELIST images = m_hImageList;
        m_hImageList = nullptr;
        return images;
    }
    // Frees the list whether owned or not: for a shared list only its
    // owner may call this. True for a null list.
    bool Destroy()
    {
        if (m_hImageList == nullptr)
            return true;
        bool destroyed = ::ImageList_Destroy(m_hImageList) != FALSE;
        m_hImageList = nullptr;
        return destroyed;
    }
};

using CImageList = CImageListImpl<true>;
using CImageListRef = CImageListImpl<false>;

}  // namespace korra
