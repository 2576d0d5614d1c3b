// CSWinApp: the application object. There is exactly one, made before the
// entry point runs; a process-wide pointer refers to it while it exists.
// It keeps the start-up values (instance, command line, show command), runs
// the message loop with its idle frames and knows the two top-level windows.
// Virtual operations are declared in their table order.
// User-interface thread only.
#pragma once

#include "platform/WindowSystem.h"

#include <cstdint>
#include <string>

namespace zdl {

class CWindow;
class CRuleWin;

// Idle frames run at most once per this many milliseconds.
constexpr uint32_t kFrameIntervalMs = 40;
// After this many frames in a row that changed nothing on the screen, with
// no message and no posted work between them, frames slow to one per
// kQuietFrameIntervalMs until something happens. Anything that animates
// (the progress head, the caret) changes the screen every few frames and
// so keeps the full rate.
constexpr int kQuietFramesBeforeSlowing = 30;
constexpr uint32_t kQuietFrameIntervalMs = 500;

class CSWinApp {
public:
    CSWinApp();
    CSWinApp(const CSWinApp&) = delete;
    CSWinApp& operator=(const CSWinApp&) = delete;

    virtual ~CSWinApp(); // 0
    virtual bool InitInstance(); // 1
    // Runs the work posted to the user-interface queue, then paces frames:
    // a frame of both windows every 40 ms at most, every 500 ms while the
    // windows stay unchanged and nothing happens.
    virtual bool OnIdle(int idleCount); // 2
    virtual bool PreTranslateMessage(const NativeMessage& message); // 3
    virtual void OpenLicenceWindow(); // 4
    virtual void CloseLicenceWindow(); // 5

    // Shows the main window, then runs the message loop until WM_QUIT;
    // returns its exit code (-1 if the queue fails).
    int Run();
    // Something may change the windows (a message, posted work): frames run
    // at the full rate again.
    void NoteActivity() { quietFrames_ = 0; }

    static CSWinApp* current();
    // Deletes the pages of both windows (ReleasePages); the entry point
    // calls it after the message loop, before OLE is uninitialised.
    void ReleasePages();

    NativeInstance instance = nullptr;
    std::string commandLine;
    int showCommand = SW_SHOWNORMAL;
    NativeMessage lastMessage;
    CWindow* mainWindow = nullptr; // not owned
    CRuleWin* licenceWindow = nullptr; // owned by the subclass that opens it

private:
    int PushedFrames() const; // of both windows, so far

    uint32_t lastFrame_ = 0;
    bool frameClockStarted_ = false;
    int quietFrames_ = 0; // frames in a row that pushed nothing
};

// The entry point's work: OLE and the rich edit library around the
// application's start-up and message loop. Returns the process exit code.
int RunEntryPoint(NativeInstance instance, const char* commandLine, int showCommand);

} // namespace zdl
