// Files dropped from the shell (WM_DROPFILES): the paths in the order the
// shell gave them, in the ANSI code page.
#pragma once

#include "korra/Subclass.h"

#include <shellapi.h>

#include <string>
#include <vector>

namespace korra {

// Owns the drop handle: the destructor finishes the drop, which frees it.
class CDropFilesA {
public:
    explicit CDropFilesA(HDROP drop) : m_drop(drop) {}
    ~CDropFilesA();
    CDropFilesA(const CDropFilesA&) = delete;
    CDropFilesA& operator=(const CDropFilesA&) = delete;

    UINT GetCount() const;
    // The full path of file index, however long; "" past the end.
    std::string GetFile(UINT index) const;
    std::vector<std::string> GetFiles() const;

private:
    HDROP m_drop;
};

// True when path names an existing folder (a dropped folder is no program).
bool IsFolder(const std::string& path);

// Makes a control take files dropped on it (WS_EX_ACCEPTFILES) and pass
// them to its parent as WM_DROPFILES with the control's handle in lParam,
// so that the dialog knows where they landed. The parent owns the drop.
class CDropForwarderA : public CSubclassA {
public:
    bool Attach(HWND control);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

}  // namespace korra
