// DownloadPage: the download page's logic. It keeps the page state (which
// action button shows), the install folder and the speed limits, handles
// the page's buttons, starts the download core and turns each poll of it
// into display work. It shows what it decides through a PageView (CSBeginDlg
// on its skinned controls; a recording view in tests) and takes everything
// else from its PageEnvironment, which the application fills (CSampleApp).
//
// Threads. Handlers, StartDownloadCore and ShowPercent run on the
// user-interface thread, which alone touches the view. The poll runs
// (PollRuns) call the page's tick on their own thread: it polls the core,
// shows the disk-full box itself (the player reads it there), and posts
// every visible change, in order, to the user-interface queue, stamped with
// its run, so changes of a run that has ended since are dropped and a stale
// tick never re-shows what the page has just reset. What the poll thread
// shares lives in a block that outlives the page, so a run still waiting in
// a message box when the page closes finds no page and ends.
#pragma once

#include "app/AppTexts.h"
#include "app/DownloadProgress.h"
#include "app/PageCore.h"
#include "app/PageView.h"
#include "app/PollRuns.h"
#include "app/StoredSettings.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "platform/SystemInfo.h"
#include "platform/UiQueue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zdl {

// The page's message texts and titles (kPageTitle, kTextAcceptFirst, ...)
// are in app/AppTexts.txt.
extern const char kInstallSubfolder[]; // "Zephyra\"

// The progress head's place: x = trunc(p / 100 * 638 + 100) at y 384.
constexpr int kProgressHeadY = 384;
constexpr int kStartHttpThreads = 4;

// What the page takes from its surroundings. The defaults here serve any
// page; the application (CSampleApp) gives the installer's own: the core,
// the owner window, the default folder, and the work the page hands out
// (closing the window, the settings dialog, opening a page of the
// publisher, the version record and the finish work). Empty work is none.
struct PageEnvironment {
    PageCore* core = nullptr; // not owned; must outlive every poll run
    UiTaskQueue* queue = &TheUiQueue(); // not owned
    NativeWindow owner = nullptr; // owns the page's boxes, browser and dialog
    std::string settingsPath = kSettingsFileName;
    std::string defaultInstallDir; // the folder before any setting names one
    uint32_t pollIntervalMs = 1000;
    uint32_t restartWaitMs = 1000;
    StallTimings stall;
    std::function<uint32_t()> now = TickCountMs; // tick count, any thread
    // Message boxes, from the user-interface and the poll thread.
    std::function<int(NativeWindow owner, const char* text, const char* caption, unsigned flags)> showMessageBox
        = ShowMessageBox;
    // Install completion: the version record (poll thread, before "finish"
    // shows) and the finish work (user-interface thread).
    std::function<bool(const std::string& installDir)> writeVersionRecord;
    std::function<bool(const std::string& installDir)> completeInstall; // false: not completed, stay
    // Closes the main window (which ends the application).
    std::function<void()> closeMainWindow;
    // Runs the settings dialog modally; it writes the settings file itself
    // and hands back what the player chose.
    std::function<SettingsChoice(NativeWindow owner, const std::string& settingsPath, const std::string& installDir)>
        runSettingsDialog;
    // Opens |url| in the player's browser; "age" opens ageNoticeUrl.
    std::function<void(const std::string& url)> openUrl;
    std::string ageNoticeUrl;
};

class DownloadPage {
public:
    DownloadPage(PageView* view, PageEnvironment environment);
    ~DownloadPage(); // stops the core and ends the poll run (see Shutdown)
    DownloadPage(const DownloadPage&) = delete;
    DownloadPage& operator=(const DownloadPage&) = delete;

    // Takes the single-instance mutex; when another downloader holds it,
    // shows "Zephyra免费版下载器已加载" (no owner) and returns false: the
    // caller ends the process with -1.
    bool TakeSingleInstance();
    // Reads the settings file into the folder and the limits.
    void LoadSettings();

    // Handlers (user-interface thread).
    void OnStart(); // "install" and "continue"
    void OnPause(); // "stop"
    void OnAcceptanceChanged(); // "check_accept"; also called by the licence page
    void ChooseInstallFolder(); // "scan"
    void OnExit(); // "exit"
    void OnSettings(); // "set"
    void OnFinish(); // "finish"
    void OnAge(); // "age"

    // 0: the core could not be provided, nothing started; 1: a core and a
    // poll run watching it were started (an earlier run is ended first);
    // 2: a poll run was watching and goes on watching the restarted core.
    // Never waits for a restart a poll run is making (see PollRuns).
    int StartDownloadCore(int httpThreads, const char* mode);
    // Stops the core and ends the poll run: `paused` set, averages 0.
    void StopDownload();
    // The settings dialog saved |downloadLimit| and |uploadLimit| (KB/s, -1
    // unlimited): stored at once; a running download restarts with them.
    void ApplySettingsLimits(int downloadLimit, int uploadLimit, bool share);
    // The page closes: the core is told to quit and the poll run ended;
    // waits at most |waitMs| for its thread (it may sit in a message box).
    void Shutdown(uint32_t waitMs = 2000);

    // The percent display for |x| (truncated; -1 hides it).
    void ShowPercent(float x);

    const std::string& installDir() const { return installDir_; }
    float maxDownloadSpeed() const { return maxDownloadSpeed_; }
    float maxUploadSpeed() const { return maxUploadSpeed_; }
    bool share() const { return share_; }
    bool completed() const { return completed_; }
    bool paused() const { return runs_->paused(); }
    float avgDownloadSpeed() const;
    // Poll threads not yet ended (the current one and any still finishing).
    int LivePollThreads() { return runs_->LiveThreads(); }
    bool PollRunning() { return runs_->Running(); }

private:
    struct Shared;

    static TickVerdict Tick(
        const std::shared_ptr<Shared>& shared, uint64_t stamp, const std::function<bool()>& current);
    static void Post(const std::shared_ptr<Shared>& shared, uint64_t stamp, std::function<void(DownloadPage&)> change);

    void ApplyTick(const TickOutcome& outcome);
    void ShowStartFailed();
    void ShowReady();
    void UpdateRequest();
    bool Ask(const char* text);

    PageView* view_; // not owned
    PageEnvironment env_;
    std::shared_ptr<Shared> shared_;
    std::unique_ptr<PollRuns> runs_;
    NamedMutex instanceMutex_;

    std::string installDir_;
    float maxDownloadSpeed_ = -1;
    float maxUploadSpeed_ = -1;
    bool share_ = true; // with peers on the local network
    bool completed_ = false;
    int lastPercent_ = -1;
    int lastHundreds_ = -1;
    int lastTens_ = -1;
    int lastOnes_ = -1;
};

} // namespace zdl
