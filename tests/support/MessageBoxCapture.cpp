#include "MessageBoxCapture.h"

#include <cstring>
#include <stdexcept>

namespace {

MessageBoxCapture* current = nullptr;
CapturedMessageBox* showing = nullptr;  // the box being shown right now

// The import-table slot through which this program calls module!function.
void** FindImportSlot(const char* module, const char* function)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
    for (; import->Name != 0; ++import) {
        if (lstrcmpiA(reinterpret_cast<char*>(base + import->Name), module) != 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<char*>(byName->Name), function) == 0)
                return reinterpret_cast<void**>(&slots->u1.Function);
        }
    }
    return nullptr;
}

void WriteSlot(void** slot, void* value)
{
    DWORD old = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old);
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
}

std::string WindowText(HWND window)
{
    char buffer[2048] = {};
    GetWindowTextA(window, buffer, sizeof buffer);
    return buffer;
}

}  // namespace

MessageBoxCapture::MessageBoxCapture()
{
    if (current != nullptr)
        throw std::logic_error("one MessageBoxCapture at a time");
    m_slot = FindImportSlot("user32.dll", "MessageBoxExA");
    if (m_slot == nullptr)
        throw std::runtime_error("this program does not import MessageBoxExA");
    m_original = *m_slot;
    WriteSlot(m_slot, reinterpret_cast<void*>(&Replacement));
    current = this;
}

MessageBoxCapture::~MessageBoxCapture()
{
    WriteSlot(m_slot, m_original);
    current = nullptr;
}

int WINAPI MessageBoxCapture::Replacement(HWND owner, LPCSTR text, LPCSTR caption, UINT type,
                                          WORD language)
{
    CapturedMessageBox box;
    box.owner = owner;
    box.textGiven = text != nullptr;
    box.captionGiven = caption != nullptr;
    box.text = text ? text : "";
    box.caption = caption ? caption : "";
    box.type = type;
    box.language = language;

    // Show the real box; the hook reads what it says and presses OK.
    HHOOK hook = SetWindowsHookExA(WH_CBT, &CloseWhenActive, nullptr, GetCurrentThreadId());
    showing = &box;
    using Original = int(WINAPI*)(HWND, LPCSTR, LPCSTR, UINT, WORD);
    const int result = reinterpret_cast<Original>(current->m_original)(owner, text, caption, type, language);
    showing = nullptr;
    UnhookWindowsHookEx(hook);

    current->m_boxes.push_back(box);
    return result;
}

LRESULT CALLBACK MessageBoxCapture::CloseWhenActive(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && showing != nullptr) {
        HWND box = reinterpret_cast<HWND>(wParam);
        char className[64] = {};
        GetClassNameA(box, className, sizeof className);
        // The owner, a dialog too, is activated again while the box goes:
        // only the box itself is read and pressed, once.
        if (std::strcmp(className, "#32770") == 0 && box != showing->owner &&
            showing->shownCaption.empty() && GetDlgItem(box, 0xFFFF) != nullptr) {
            showing->shownCaption = WindowText(box);
            // The static text of a message box has the identifier 0xFFFF.
            showing->shownText = WindowText(GetDlgItem(box, 0xFFFF));
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
