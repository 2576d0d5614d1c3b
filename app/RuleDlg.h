// CSRuleDlg: the licence page, the only page of the licence window
// (CRuleWin). Built from "ui_panel2.lua" (buttons "accept", "refuse" and
// "exit") plus the title (204) and the scrolling licence text (205) made in
// code; after the build it makes its window draggable, loads the licence
// text and creates the tooltip (99999) only when the text file opened.
//
// Each button, and any other close of the licence window (Alt+F4), first
// closes the licence window through the application, then hands its verdict
// to the gate the application gave the page (the download page): "accept"
// checks "check_accept", "refuse" unchecks it (pausing a running download),
// "exit" leaves it.
// The window is deleted later by the application, so a handler may go on
// using the page after the window closed.
//
// The desktop of the licence window owns the page; the page owns its
// controls; the gate is not owned. User-interface thread only.
#pragma once

#include "app/AppTexts.h"
#include "app/LicenceGate.h"
#include "gfx/FontCache.h"
#include "skin/BitmapDialog.h"

#include <map>

namespace zdl {

class CMainWin;
class CSMultiColorStatic;
class CSScrollStatic;

extern const char kLicenceLayoutScript[]; // "ui_panel2.lua"
// The title line is kLicenceTitleText (app/AppTexts.txt).
constexpr int kLicenceTitleId = 204;
constexpr int kLicenceTextId = 205;
constexpr int kLicenceTextWidth = 387;
constexpr int kLicenceThumbMargin = 5;

class CSRuleDlg : public CSBitmapDialog {
public:
    // |gate| (may be null) takes the verdict.
    CSRuleDlg(CMainWin* window, LicenceGate* gate);
    ~CSRuleDlg() override;

    bool OnInit() override; // 1: build
    void OnClose() override; // 2: nothing
    void OnAttached() override; // 3: after build
    void OnNotify(int code, int id, CSControl* control) override; // 5
    void AfterPresent() override; // 11: nothing
    bool CanClose() override; // 12: true

    // The three buttons.
    void OnAccept();
    void OnRefuse();
    void OnExit();

    CMainWin* window; // not owned: the licence window
    int acceptId = 0;
    int refuseId = 0;
    int exitId = 0;
    CSMultiColorStatic* title = nullptr; // not owned; one of `controls`
    CSScrollStatic* text = nullptr; // not owned; one of `controls`

private:
    // Closes the licence window, then hands |verdict| to the gate.
    void CloseWith(LicenceVerdict verdict);

    LicenceGate* gate_; // not owned
    std::map<int, void (CSRuleDlg::*)()> handlers_;
};

} // namespace zdl
