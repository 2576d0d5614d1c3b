// The download page's logic: the page state (which action button shows),
// the install folder, the speed limits, the handlers of the page's buttons,
// the start of a download core and the status poll thread with its display
// work. CSBeginDlg owns one and gives it its controls as a PageView; tests
// give it a recording view and a scripted core.
//
// Threads. Handlers, StartDownloadCore (from the page) and ShowPercent run
// on the user-interface thread, which alone touches the view. A poll thread
// polls the core once per interval, shows the disk-full box itself (it
// waits in it, as the player reads it) and posts every visible change, in
// order, to the user-interface queue. Each poll run carries a stamp; ending
// a run (pause, folder change, withdrawn licence, close) changes the
// current stamp, so changes a finished run posted late are dropped and a
// stale tick never re-shows what the page has just reset. Stopping the core
// with `paused` set and a restart's "not paused, so start" exclude each
// other. The state the poll thread shares lives in a shared block that
// outlives the page, so a run still waiting in a message box when the page
// closes finds no page and ends.
#pragma once

#include "app/AppTexts.h"
#include "app/DownloadProgress.h"
#include "app/PageCore.h"
#include "app/PageView.h"
#include "app/StoredSettings.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "platform/UiQueue.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace zdl {

// The page's message texts and titles (kPageTitle, kTextAcceptFirst, ...)
// are in app/AppTexts.txt.
extern const char kInstallSubfolder[]; // "Zephyra\"

// The progress head's place: x = trunc(p / 100 * 638 + 100) at y 384.
constexpr int kProgressHeadY = 384;
constexpr int kStartHttpThreads = 4;

// What the page takes from its surroundings.
struct PageEnvironment {
    PageCore* core = nullptr; // not owned; must outlive every poll run
    UiTaskQueue* queue = nullptr; // not owned; TheUiQueue() when null
    NativeWindow owner = nullptr; // owns the page's boxes and browser
    std::string settingsPath = kSettingsFileName;
    std::string defaultInstallDir; // empty: DefaultInstallDir() of this system
    uint32_t pollIntervalMs = 1000;
    uint32_t restartWaitMs = 1000;
    StallTimings stall;
    std::function<uint32_t()> now; // tick count; TickCountMs when empty
    // Install completion: the version record (poll thread, before "finish"
    // shows) and the finish work (user-interface thread).
    std::function<bool(const std::string& installDir)> writeVersionRecord;
    std::function<void(const std::string& installDir)> completeInstall;
    // Closes the main window (which ends the application).
    std::function<void()> closeMainWindow;
    // Runs the settings dialog modally for the page.
    std::function<void()> runSettingsDialog;
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
    // 2: called from the running poll run, which goes on watching the
    // restarted core.
    int StartDownloadCore(int httpThreads, const char* mode);
    // Stops the core and ends the poll run: `paused` set, averages 0.
    void StopDownload();
    // The settings dialog saved |downloadLimit| and |uploadLimit| (KB/s, -1
    // unlimited): stored at once; a running download restarts with them.
    void ApplySettingsLimits(int downloadLimit, int uploadLimit);
    // The page closes: the core is told to quit and the poll run ended;
    // waits at most |waitMs| for its thread (it may sit in a message box).
    void Shutdown(uint32_t waitMs = 2000);

    // The percent display for |x| (truncated; -1 hides it).
    void ShowPercent(float x);

    const std::string& installDir() const { return installDir_; }
    float maxDownloadSpeed() const { return maxDownloadSpeed_; }
    float maxUploadSpeed() const { return maxUploadSpeed_; }
    bool completed() const { return completed_; }
    bool paused() const;
    float avgDownloadSpeed() const;
    // Poll threads not yet ended (the current one and any still finishing).
    int LivePollThreads();
    bool PollRunning();
    const PageEnvironment& environment() const { return env_; }

private:
    struct Shared;
    struct Run;
    struct Posted;

    static void PollThreadMain(std::shared_ptr<Shared> shared, std::shared_ptr<Run> run);
    static bool RefreshStatus(const std::shared_ptr<Shared>& shared, Run* run);
    static void RestartLoop(const std::shared_ptr<Shared>& shared, uint64_t stamp, int httpThreads);
    static void Post(const std::shared_ptr<Shared>& shared, uint64_t stamp, std::function<void(DownloadPage&)> change);

    void ApplyTick(const TickOutcome& outcome);
    void ShowReady();
    void UpdateRequest();
    void ReapRuns(uint32_t waitMs);
    bool Ask(const char* text);

    PageView* view_;
    PageEnvironment env_;
    std::shared_ptr<Shared> shared_;
    std::list<std::shared_ptr<Run>> runs_; // the current run last; shared with its thread
    NamedMutex instanceMutex_;

    std::string installDir_;
    float maxDownloadSpeed_ = -1;
    float maxUploadSpeed_ = -1;
    bool completed_ = false;
    int lastPercent_ = -1;
    int lastHundreds_ = -1;
    int lastTens_ = -1;
    int lastOnes_ = -1;
};

} // namespace zdl
