// The settings dialog of the input window: a modal property sheet with the
// pages コマンド, ウィンドウ, 入力支援 and その他. Each page edits a working
// copy of its part of the record and writes it back on apply; every apply
// ends with a save of the whole record. While the sheet runs its window
// exists, and the input window refuses a second one.
#pragma once

#include "PropPageCommand.h"
#include "PropPageInput.h"
#include "PropPageOthers.h"
#include "PropPageWindow.h"

#include "korra/PropSheetImpl.h"

class CSettings;

class CSettingPropSheet : public korra::CPropSheetImplA<CSettingPropSheet> {
public:
    // Writes the record to the settings file; false when it could not be
    // written (the user was told).
    using SaveFunction = bool (*)(const CSettings& settings);
    // The sheet's Apply button.
    static constexpr int kApplyButton = 0x3021;

    explicit CSettingPropSheet(CSettings* settings);
    ~CSettingPropSheet() override;

    // The input window and its box, which the pages preview on and the
    // hot key is registered for.
    void SetTargets(HWND mainWindow, HWND inputBox);
    // Tests keep the real settings file out of their way.
    void SetSaveFunction(SaveFunction save) { m_save = save; }

    // Runs the sheet over owner, centred in the work area. Positive when
    // settings were applied; the input window applies the record again
    // afterwards, which undoes previews that were cancelled.
    INT_PTR DoModal(HWND owner);
    // The same sheet without a loop of its own (tests).
    HWND Create(HWND owner);

    CPropPageCommand& GetCommandPage() { return m_command; }
    CPropPageWindow& GetWindowPage() { return m_window; }
    CPropPageInput& GetInputPage() { return m_input; }
    CPropPageOthers& GetOthersPage() { return m_others; }

protected:
    void OnSheetInitialized() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void Prepare();
    // OK and Apply: the current page may refuse to be left; then every page
    // that was shown writes its copy back, in tab order, until one refuses;
    // then the record is saved, also after a refusal. True when all of it
    // went through and the sheet may close.
    bool Apply();
    LRESULT Notify(HWND page, UINT code);

    CSettings* m_settings;  // owned by the entry point
    SaveFunction m_save;
    CPropPageCommand m_command;
    CPropPageWindow m_window;
    CPropPageInput m_input;
    CPropPageOthers m_others;
    HICON m_largeIcon = nullptr;  // owned
    HICON m_smallIcon = nullptr;  // owned
};
