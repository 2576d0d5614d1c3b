#include "app/WinApp.h"

#include "app/MainWin.h"
#include "gfx/DibImage.h"
#include "platform/UiQueue.h"

namespace zdl {

namespace {
    CSWinApp* theApp = nullptr;
}

CSWinApp::CSWinApp()
{
    theApp = this;
}

CSWinApp::~CSWinApp()
{
    if (theApp == this)
        theApp = nullptr;
}

CSWinApp* CSWinApp::current()
{
    return theApp;
}

bool CSWinApp::InitInstance()
{
    return true;
}

bool CSWinApp::OnIdle(int)
{
    // Work posted by other threads (the poll thread's display changes) runs
    // here, on this thread, before the frame that shows it.
    if (TheUiQueue().RunPending() > 0)
        NoteActivity();
    uint32_t now = GetUiPlatform().TickCount();
    if (!frameClockStarted_) {
        frameClockStarted_ = true;
        lastFrame_ = now;
    }
    const uint32_t interval = quietFrames_ >= kQuietFramesBeforeSlowing ? kQuietFrameIntervalMs : kFrameIntervalMs;
    if (now - lastFrame_ < interval) {
        // Until the next frame is due, sleep in the message wait: input and
        // posted work end it at once, and an idle program costs no time.
        WsWaitForMessage(interval - (now - lastFrame_));
        return true;
    }
    lastFrame_ = now;
    const int pushedBefore = PushedFrames();
    // The owner first, then its owned licence window: a layered window
    // appears with its first frame, and a display without a window manager
    // stacks the window that appeared last on top.
    bool more = false;
    if (mainWindow)
        more = mainWindow->OnIdle(0) || more;
    if (licenceWindow)
        more = licenceWindow->OnIdle(0) || more;
    if (PushedFrames() != pushedBefore)
        quietFrames_ = 0;
    else if (quietFrames_ < kQuietFramesBeforeSlowing)
        ++quietFrames_;
    return more;
}

int CSWinApp::PushedFrames() const
{
    int pushed = licenceWindow ? licenceWindow->pushedFrames : 0;
    if (auto* main = dynamic_cast<const CMainWin*>(mainWindow))
        pushed += main->pushedFrames;
    return pushed;
}

bool CSWinApp::PreTranslateMessage(const NativeMessage& message)
{
    return mainWindow && mainWindow->PreTranslateMessage(message);
}

void CSWinApp::OpenLicenceWindow() { }

void CSWinApp::CloseLicenceWindow() { }

void CSWinApp::ReleasePages()
{
    if (licenceWindow)
        licenceWindow->ReleasePages();
    if (auto* main = dynamic_cast<CMainWin*>(mainWindow))
        main->ReleasePages();
}

int CSWinApp::Run()
{
    if (mainWindow)
        WsShowWindow(mainWindow->handle(), showCommand);
    // The licence window was shown while its owner was still hidden; the
    // owner's first show activates the owner. The licence window is made
    // the active one again, so that it takes the keyboard and the wheel.
    if (licenceWindow)
        WsBringToFront(licenceWindow->handle());
    TheUiQueue().SetWakeUp(WsWakeMessageWait);
    int idleCount = 0;
    bool idle = true;
    for (;;) {
        while (idle && !WsMessageWaiting()) {
            if (!OnIdle(idleCount++))
                idle = false;
        }
        NativeMessage message;
        int got = WsGetMessage(&message);
        if (got == 0)
            return static_cast<int>(message.wParam);
        if (got < 0)
            return -1;
        lastMessage = message;
        NoteActivity();
        if (!PreTranslateMessage(message))
            WsDispatchMessage(message);
        idle = true;
        idleCount = 0;
    }
}

int RunEntryPoint(NativeInstance instance, const char* commandLine, int showCommand)
{
    CSWinApp* app = CSWinApp::current();
    if (!app)
        return -1;
    WsOleInitialize();
    NativeModule richEdit = WsLoadLibrary("RICHED20.DLL");
    app->instance = instance;
    app->commandLine = commandLine ? commandLine : "";
    app->showCommand = showCommand;
    int code = -1;
    if (app->InitInstance())
        code = app->Run();
    app->ReleasePages();
    WsFreeLibrary(richEdit);
    WsOleUninitialize();
    return code;
}

} // namespace zdl
