#include "app/SampleApp.h"

#include "gfx/DibImage.h"
#include "gfx/ResourceArchive.h"
#include "platform/DibSurface.h"
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

CSampleApp::CSampleApp() = default;

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
            WsDestroyWindow(window->handle());  // its page refused to close
        closedLicence_.reset(window);
    }
    WsShowWindow(mainWin.handle(), SW_SHOWNORMAL);
}

}  // namespace zdl
