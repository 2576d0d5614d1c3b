// CSampleApp: the installer's application object. It embeds the main window,
// keeps the value of the "--vxp_setup" switch, runs start-up (NT check, the
// resource archive, the layout Lua state, the command line, the main window)
// and opens and closes the licence window.
// User-interface thread only.
#pragma once

#include "app/MainWin.h"
#include "app/WinApp.h"

#include <memory>
#include <string>

namespace zdl {

// The text after "--vxp_setup" and the blanks that follow it, from the first
// occurrence of the switch anywhere in |commandLine|; empty without it.
std::string ParseSetupArgument(const std::string& commandLine);

class CSampleApp : public CSWinApp {
public:
    CSampleApp();
    ~CSampleApp() override;

    bool InitInstance() override; // 1
    bool OnIdle(int idleCount) override; // 2: also frees a closed licence window
    void OpenLicenceWindow() override; // 4
    void CloseLicenceWindow() override; // 5

    CMainWin mainWin;
    std::string setupArgument;

private:
    // A licence window closed from inside its own page's handler is deleted
    // on the next idle pass, once that handler has returned.
    std::unique_ptr<CRuleWin> closedLicence_;
};

} // namespace zdl
