// Subclassed controls, dropped files and the open-file dialog.
#include "korra/Binding.h"
#include "korra/DropFiles.h"
#include "korra/FileDialog.h"
#include "korra/Subclass.h"

#include <commdlg.h>

namespace korra {

// ---- Subclassing -----------------------------------------------------------

bool CSubclassA::Subclass(HWND window)
{
    if (window == nullptr || m_hWnd != nullptr || BoundObject<void>(window) != nullptr)
        return false;
    if (!Bind(window, this))
        return false;
    m_hWnd = window;
    m_original = reinterpret_cast<WNDPROC>(::SetWindowLongPtrA(
        window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&StaticWindowProc)));
    return true;
}

void CSubclassA::Unsubclass()
{
    if (m_hWnd == nullptr)
        return;
    if (::IsWindow(m_hWnd)) {
        ::SetWindowLongPtrA(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_original));
        Unbind(m_hWnd);
    }
    m_hWnd = nullptr;
    m_original = nullptr;
}

LRESULT CSubclassA::CallOriginal(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::CallWindowProcA(m_original, m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CSubclassA::StaticWindowProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam)
{
    CSubclassA* self = BoundObject<CSubclassA>(window);
    if (self == nullptr)
        return ::DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The control goes: it finishes with its own procedure, unbound.
        WNDPROC original = self->m_original;
        self->Unsubclass();
        return ::CallWindowProcA(original, window, message, wParam, lParam);
    }
    return self->WindowProc(message, wParam, lParam);
}

// ---- Dropped files ---------------------------------------------------------

CDropFilesA::~CDropFilesA()
{
    if (m_drop != nullptr)
        ::DragFinish(m_drop);
}

UINT CDropFilesA::GetCount() const
{
    return m_drop != nullptr ? ::DragQueryFileA(m_drop, 0xFFFFFFFF, nullptr, 0) : 0;
}

std::string CDropFilesA::GetFile(UINT index) const
{
    if (index >= GetCount())
        return std::string();
    const UINT length = ::DragQueryFileA(m_drop, index, nullptr, 0);
    std::string path(static_cast<std::size_t>(length) + 1, '\0');
    const UINT copied = ::DragQueryFileA(m_drop, index, &path[0], length + 1);
    path.resize(copied <= length ? copied : length);
    return path;
}

std::vector<std::string> CDropFilesA::GetFiles() const
{
    std::vector<std::string> files;
    const UINT count = GetCount();
    for (UINT i = 0; i < count; ++i)
        files.push_back(GetFile(i));
    return files;
}

bool IsFolder(const std::string& path)
{
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CDropForwarderA::Attach(HWND control)
{
    if (!Subclass(control))
        return false;
    ::DragAcceptFiles(control, TRUE);
    return true;
}

LRESULT CDropForwarderA::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DROPFILES)
        return ::SendMessageA(::GetParent(m_hWnd), WM_DROPFILES, wParam,
                              reinterpret_cast<LPARAM>(m_hWnd));
    return CSubclassA::WindowProc(message, wParam, lParam);
}

// ---- Open-file dialog ------------------------------------------------------

INT_PTR CFileDialogA::DoModal(HWND owner)
{
    char path[MAX_PATH] = {};
    OPENFILENAMEA info = {};
    info.lStructSize = sizeof info;
    info.hwndOwner = owner;
    info.lpstrFilter = m_filter;
    info.nFilterIndex = 1;
    info.lpstrFile = path;
    info.nMaxFile = sizeof path;
    info.lpstrTitle = m_title;
    info.Flags = m_flags;
    info.lpstrDefExt = m_defaultExt;
    m_path.clear();
    if (!::GetOpenFileNameA(&info))
        return IDCANCEL;
    m_path = path;
    return IDOK;
}

}  // namespace korra
