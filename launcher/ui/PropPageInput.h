// The Input page of the settings sheet: history size and list, the
// clearing of the history, and the completion options.
#pragma once

#include "resource.h"

#include "korra/PropSheetImpl.h"

#include <cstdint>

class CSettings;

class CPropPageInput : public korra::CPropSheetPageImplA<CPropPageInput> {
public:
    enum { IDD = IDD_PROPPAGE_INPUT };
    static constexpr long kDefaultHistorySize = 20;
    static constexpr long kMaxHistorySize = 255;

    explicit CPropPageInput(CSettings* settings) : m_settings(settings) {}

    std::uint32_t GetWorkingHistorySize() const { return m_historySize; }

protected:
    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnInitDialog();
    void OnHistorySizeChanged();
    void OnCommand(WORD id, WORD code);
    void Apply();
    void UpdateModified();

    CSettings* m_settings;  // owned by the entry point
    bool m_autoComplete = true;
    bool m_intelliSense = true;
    bool m_applyReserved = true;
    std::uint32_t m_historySize = 20;
    bool m_historyList = true;
    bool m_initializing = false;
};
