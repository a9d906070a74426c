#include "PropPageInput.h"

#include "Help.h"
#include "PropPageTools.h"
#include "Settings.h"

#include "korra/UpDownCtrl.h"

namespace {
constexpr int kHistorySizeDigits = 3;
}

INT_PTR CPropPageInput::DialogProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog();
        return TRUE;
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_HELP:
        ShowContextHelp(m_hWnd, reinterpret_cast<const HELPINFO*>(lParam));
        return TRUE;
    case WM_NOTIFY:
        if (reinterpret_cast<NMHDR*>(lParam)->code == PSN_APPLY) {
            Apply();
            SetMsgResult(PSNRET_NOERROR);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

void CPropPageInput::OnInitDialog()
{
    m_autoComplete = m_settings->AutoComplete;
    m_intelliSense = m_settings->IntelliSense;
    m_applyReserved = m_settings->ApplyReservedCommand;
    m_historySize = m_settings->HistorySize;
    m_historyList = m_settings->HistoryList;

    m_initializing = true;
    ::SendDlgItemMessageA(m_hWnd, IDC_INPUT_HISTORY_SIZE, EM_LIMITTEXT, kHistorySizeDigits, 0);
    korra::CUpDownCtrlA spin(GetDlgItem(IDC_INPUT_HISTORY_SPIN));
    spin.SetRange(0, kMaxHistorySize);
    SetDlgItemInt(m_hWnd, IDC_INPUT_HISTORY_SIZE, m_historySize, FALSE);
    m_initializing = false;

    EnableItem(m_hWnd, IDC_INPUT_HISTORY_LIST, m_historySize != 0);
    EnableItem(m_hWnd, IDC_INPUT_CLEAR_HISTORY, m_settings->History.GetCount() > 0);
    SetCheck(m_hWnd, IDC_INPUT_HISTORY_LIST, m_historyList);
    SetCheck(m_hWnd, IDC_INPUT_AUTOCOMPLETE, m_autoComplete);
    SetCheck(m_hWnd, IDC_INPUT_INTELLISENSE, m_intelliSense);
    SetCheck(m_hWnd, IDC_INPUT_APPLY_RESERVED, m_applyReserved);
    EnableItem(m_hWnd, IDC_INPUT_INTELLISENSE, m_autoComplete);
    EnableItem(m_hWnd, IDC_INPUT_APPLY_RESERVED, m_autoComplete);
}

void CPropPageInput::OnCommand(WORD id, WORD code)
{
    if (id == IDC_INPUT_HISTORY_SIZE) {
        if (code == EN_CHANGE && !m_initializing)
            OnHistorySizeChanged();
        return;
    }
    if (code != BN_CLICKED)
        return;
    switch (id) {
    case IDC_INPUT_CLEAR_HISTORY:
        // At once, not on apply: Cancel does not bring the history back.
        m_settings->History.Clear();
        m_settings->History.SetPosition(0);
        EnableItem(m_hWnd, IDC_INPUT_CLEAR_HISTORY, false);
        return;
    case IDC_INPUT_AUTOCOMPLETE:
        m_autoComplete = IsChecked(m_hWnd, id);
        EnableItem(m_hWnd, IDC_INPUT_INTELLISENSE, m_autoComplete);
        EnableItem(m_hWnd, IDC_INPUT_APPLY_RESERVED, m_autoComplete);
        break;
    case IDC_INPUT_INTELLISENSE:
        m_intelliSense = IsChecked(m_hWnd, id);
        break;
    case IDC_INPUT_APPLY_RESERVED:
        m_applyReserved = IsChecked(m_hWnd, id);
        break;
    case IDC_INPUT_HISTORY_LIST:
        m_historyList = IsChecked(m_hWnd, id);
        break;
    default:
        return;
    }
    UpdateModified();
}

// A field that is no number becomes 20 and one above 255 becomes 255; the
// corrected text comes back through here.
void CPropPageInput::OnHistorySizeChanged()
{
    long size = 0;
    if (!ReadFieldNumber(m_hWnd, IDC_INPUT_HISTORY_SIZE, false, &size)) {
        SetDlgItemInt(m_hWnd, IDC_INPUT_HISTORY_SIZE, kDefaultHistorySize, FALSE);
        return;
    }
    if (size > kMaxHistorySize) {
        SetDlgItemInt(m_hWnd, IDC_INPUT_HISTORY_SIZE, kMaxHistorySize, FALSE);
        return;
    }
    m_historySize = static_cast<std::uint32_t>(size);
    EnableItem(m_hWnd, IDC_INPUT_HISTORY_LIST, m_historySize != 0);
    UpdateModified();
}

void CPropPageInput::UpdateModified()
{
    SetModified(m_autoComplete != m_settings->AutoComplete ||
                m_intelliSense != m_settings->IntelliSense ||
                m_applyReserved != m_settings->ApplyReservedCommand ||
                m_historySize != m_settings->HistorySize || m_historyList != m_settings->HistoryList);
}

void CPropPageInput::Apply()
{
    m_settings->AutoComplete = m_autoComplete;
    m_settings->IntelliSense = m_intelliSense;
    m_settings->ApplyReservedCommand = m_applyReserved;
    m_settings->HistorySize = m_historySize;
    m_settings->HistoryList = m_historyList;
    m_settings->History.SetPosition(0);
    if (m_historySize <= static_cast<std::uint32_t>(kMaxHistorySize))
        m_settings->History.SetCapacity(m_historySize);
    SetModified(false);
}
