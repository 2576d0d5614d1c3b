// CSampleApp: the installer's application object and the one place where
// its parts are put together. It embeds the main window, keeps the value of
// the "--vxp_setup" switch, runs start-up (NT check, the resource archive,
// the layout Lua state, the command line, the main window) and opens and
// closes the licence window.
//
// It builds every page with what that page needs: the download page
// (CSBeginDlg) with its environment completed here (the core, the owner
// window, the default folder, the settings dialog runner, the URL opener,
// the install work), and each licence page (CSRuleDlg) with the download
// page as the gate that takes its verdict. Made without an environment, it
// leaves the windows their own pages (the download page's layout script as
// it stands, a plain licence panel): the window tests use that.
// User-interface thread only.
#pragma once

#include "app/BeginDlg.h"
#include "app/MainWin.h"
#include "app/WinApp.h"

#include <memory>
#include <string>

namespace zdl {

// The text after "--vxp_setup" and the blanks that follow it, from the first
// occurrence of the switch anywhere in |commandLine|; empty without it.
std::string ParseSetupArgument(const std::string& commandLine);

// The process-wide download core as the download page drives it.
PageCore& InstallerCore();

class CSampleApp : public CSWinApp {
public:
    CSampleApp();
    // The installer's pages; |downloadPage|'s empty members get the
    // installer's own (see CompleteEnvironment).
    explicit CSampleApp(PageEnvironment downloadPage);
    ~CSampleApp() override;

    bool InitInstance() override; // 1
    bool OnIdle(int idleCount) override; // 2: also frees a closed licence window
    void OpenLicenceWindow() override; // 4
    void CloseLicenceWindow() override; // 5

    // The download page, once built; null without the installer's pages.
    CSBeginDlg* downloadPage() const { return downloadPage_; }

    CMainWin mainWin;
    std::string setupArgument;

private:
    PageEnvironment CompleteEnvironment(NativeWindow owner) const;
    CSBitmapDialog* MakeDownloadPage(CMainWin* window);
    CSBitmapDialog* MakeLicencePage(CRuleWin* window);

    std::unique_ptr<PageEnvironment> installer_; // null: the windows' own pages
    CSBeginDlg* downloadPage_ = nullptr; // not owned (the main window's desktop)
    // A licence window closed from inside its own page's handler is deleted
    // on the next idle pass, once that handler has returned.
    std::unique_ptr<CRuleWin> closedLicence_;
};

} // namespace zdl
