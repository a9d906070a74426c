// The pop-up list under the input window: candidate words while typing,
// or the input history while browsing it.
#pragma once

#include "CommandTable.h"

#include "korra/ListView.h"
#include "korra/WindowImpl.h"

#include <string>
#include <vector>

class CMainEdit;
class CSettings;

class CIntelliSense : public korra::CWindowImplA<CIntelliSense> {
public:
    // Posted to the pop-up: load the next item's icon.
    static constexpr UINT WMU_LOADNEXTICON = WM_APP + 223;
    static constexpr int kMaxRows = 10;

    enum PopupMode { POPUP_CANDIDATES = 1, POPUP_HISTORY = 2 };

    static const char* GetWndClassName() { return "IntelliSense : Pellor by Qel"; }

    CIntelliSense(CMainEdit* edit, CSettings* settings);

    // Creates the hidden pop-up, owned by owner; null on failure.
    HWND Create(HWND owner);
    // An empty list is never shown, whatever is asked.
    BOOL ShowWindow(int command) override;
    void GetWndClassInfo(HINSTANCE instance, WNDCLASSEXA* info) override;

    // After the box processed character c: complete the word or list the
    // candidates.
    void CompleteInput(int c);
    void HistoryBack();
    void HistoryForward();
    void ShowCandidates(const std::vector<CCandidate>& candidates, int typedLength);
    void ShowHistory();
    // Empties the list and hides the pop-up.
    void HidePopup();
    void PlacePopup();

    korra::CListViewA& GetList() { return m_list; }
    // The icon the row shows: I_IMAGENONE while it has none or none is loaded.
    int GetRowIcon(int row) const;
    int GetPopupMode() const { return m_popupMode; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    using korra::CWindowImplA<CIntelliSense>::Create;

    LRESULT OnCreate();
    LRESULT OnNotify(NMHDR* header);
    // The list draws a row: its text, and its icon once loaded.
    void OnGetDispInfo(LVITEMA* item);
    // Type-ahead in the list: the next row from start that begins with text.
    int FindRow(const char* text, int start, bool wrap) const;
    // Replaces the rows (the list shows them in this order) and empties the
    // icons with them.
    void SetRows(std::vector<std::string> rows);
    // A drawn row still without its icon is queued for loading.
    void RequestIcon(int row);
    void OnLoadNextIcon();
    void OnSelectionChanged(int index);
    void OnListKeyDown(WORD key);
    // Puts word into the box (with the arguments already typed) and selects
    // its untyped tail.
    void Complete(const std::string& word, int typedLength);
    void PostKeyToBox(WORD key);
    void UseSystemIcons();

    CMainEdit* m_edit;      // not owned: both belong to the input window
    CSettings* m_settings;  // not owned
    korra::CListViewA m_list;
    int m_popupMode = POPUP_CANDIDATES;
    bool m_firstKey = false;
    // What the list shows: it holds no text of its own (owner data), so a
    // refill of thousands of rows costs it nothing but their count.
    std::vector<std::string> m_rows;
    // Per row: an image index, I_IMAGENONE, or one of the states below.
    std::vector<int> m_images;
    std::vector<int> m_iconQueue;  // drawn rows waiting for their icon, in order
    bool m_iconPosted = false;     // a WMU_LOADNEXTICON is on its way
    int m_typedLength = 0;
    DWORD m_commonControlsVersion = 0;  // major in the high word
    bool m_systemIcons = false;         // the list shows the system's small icons
};
