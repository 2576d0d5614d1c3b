#include "app/SampleApp.h"

#include "app/InstallCompletion.h"
#include "app/LayoutPage.h"
#include "app/RuleDlg.h"
#include "app/SettingDlg.h"
#include "gfx/DibImage.h"
#include "gfx/ResourceArchive.h"
#include "platform/DibSurface.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"
#include "skin/LayoutLua.h"

namespace zdl {

namespace {
    const char kSetupSwitch[] = "--vxp_setup";
}

std::string ParseSetupArgument(const std::string& commandLine)
{
    size_t at = commandLine.find(kSetupSwitch);
    if (at == std::string::npos)
        return std::string();
    size_t start = at + sizeof kSetupSwitch - 1;
    while (start < commandLine.size() && (commandLine[start] == ' ' || commandLine[start] == '\t'))
        ++start;
    return commandLine.substr(start);
}

PageCore& InstallerCore()
{
    static SessionPageCore core(TheCoreSession());
    return core;
}

CSampleApp::CSampleApp() = default;

CSampleApp::CSampleApp(PageEnvironment downloadPage)
    : installer_(std::make_unique<PageEnvironment>(std::move(downloadPage)))
{
}

PageEnvironment CSampleApp::CompleteEnvironment(NativeWindow owner) const
{
    PageEnvironment env = *installer_;
    env.owner = owner;
    if (!env.core)
        env.core = &InstallerCore();
    if (env.defaultInstallDir.empty())
        env.defaultInstallDir = DefaultInstallDir(DriveExists('D'), SystemDriveLetter());
    if (!env.closeMainWindow)
        env.closeMainWindow = [owner] { WsSendMessage(owner, WM_CLOSE, 0, 0); };
    if (!env.writeVersionRecord)
        env.writeVersionRecord = [](const std::string& dir) { return WriteVersionRecord(dir); };
    if (!env.completeInstall)
        env.completeInstall = [](const std::string& dir) { return CompleteInstall(dir); };
    if (!env.runSettingsDialog)
        env.runSettingsDialog = RunSettingsDialog;
    if (!env.openUrl)
        env.openUrl = [](const std::string& url) { ShellOpen(url); };
    if (env.ageNoticeUrl.empty())
        env.ageNoticeUrl = PublisherPageUrl(kAgeNoticePagePath);
    return env;
}

CSBitmapDialog* CSampleApp::MakeDownloadPage(CMainWin* window)
{
    downloadPage_ = new CSBeginDlg(window, CompleteEnvironment(window->handle()));
    return downloadPage_;
}

CSBitmapDialog* CSampleApp::MakeLicencePage(CRuleWin* window)
{
    auto* page = new CSRuleDlg(window, downloadPage_);
    // Alt+F4 and the system menu settle the licence as the page's "exit".
    window->onDismiss = [page] { page->OnExit(); };
    return page;
}

CSampleApp::~CSampleApp()
{
    if (licenceWindow) {
        delete licenceWindow;
        licenceWindow = nullptr;
    }
    if (mainWindow == &mainWin)
        mainWindow = nullptr;
    if (layoutLuaState) {
        CloseLayoutLuaState(layoutLuaState);
        layoutLuaState = nullptr;
    }
}

bool CSampleApp::InitInstance()
{
    platformIsNt = QueryPlatformIsNt();
    LoadResourceArchive();
    layoutLuaState = NewLayoutLuaState();
    mainWindow = &mainWin;
    if (installer_)
        mainWin.makePage = [this](CMainWin* window) { return MakeDownloadPage(window); };
    setupArgument.clear();
    setupArgument = ParseSetupArgument(commandLine);
    if (!CreateSkinWindow(kMainCreateTitle, this, nullptr, &mainWin)) {
        mainWindow = nullptr;
        if (layoutLuaState) {
            CloseLayoutLuaState(layoutLuaState);
            layoutLuaState = nullptr;
        }
        return false;
    }
    return true;
}

bool CSampleApp::OnIdle(int idleCount)
{
    closedLicence_.reset();
    return CSWinApp::OnIdle(idleCount);
}

void CSampleApp::OpenLicenceWindow()
{
    if (licenceWindow) {
        // Already open (the licence link clicked again): bring it back.
        WsShowWindow(licenceWindow->handle(), SW_SHOWNORMAL);
        return;
    }
    auto window = std::make_unique<CRuleWin>();
    if (installer_) {
        CRuleWin* rule = window.get();
        window->makePage = [this, rule](CMainWin*) { return MakeLicencePage(rule); };
    }
    if (!CreateSkinWindow(kRuleCreateTitle, this, &mainWin, window.get()))
        return;
    WsShowWindow(window->handle(), SW_SHOWNORMAL);
    licenceWindow = window.release();
}

void CSampleApp::CloseLicenceWindow()
{
    if (licenceWindow) {
        CRuleWin* window = licenceWindow;
        licenceWindow = nullptr;
        WsSendMessage(window->handle(), WM_CLOSE, 0, 0);
        if (WsIsWindow(window->handle()))
            WsDestroyWindow(window->handle()); // its page refused to close
        closedLicence_.reset(window);
    }
    WsShowWindow(mainWin.handle(), SW_SHOWNORMAL);
}

} // namespace zdl
