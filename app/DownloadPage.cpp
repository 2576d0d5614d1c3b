#include "app/DownloadPage.h"

#include "app/LayoutPage.h"
#include "app/SettingDlg.h"
#include "platform/SystemInfo.h"
#include "platform/WinDefs.h"

#include <chrono>

namespace zdl {

const char kInstallSubfolder[] = "Zephyra\\";

namespace {

    // How long a start waits for the run it replaces to end before going on
    // without it (it is joined later).
    constexpr uint32_t kReplaceWaitMs = 500;

    float Clamped(float value, float low, float high)
    {
        if (!(value >= low)) // also NaN
            return low;
        return value > high ? high : value;
    }

    // Floats from the core are kept to their ranges before they index images
    // or place the head.
    void Sanitize(CoreStatus& status)
    {
        status.percentage = Clamped(status.percentage, 0, 100);
        status.verifyPercentage = Clamped(status.verifyPercentage, 0, 1);
        status.downloadBandWidth = Clamped(status.downloadBandWidth, 0, 1e9f);
        status.uploadBandWidth = Clamped(status.uploadBandWidth, 0, 1e9f);
    }

} // namespace

struct DownloadPage::Shared {
    PageCore* core = nullptr;
    UiTaskQueue* queue = nullptr;
    NativeWindow owner = nullptr;
    uint32_t pollIntervalMs = 1000;
    uint32_t restartWaitMs = 1000;
    std::function<uint32_t()> now;
    std::function<bool(const std::string&)> writeVersionRecord;

    // "paused + stop" and "not paused, so start" hold it.
    std::mutex coreLock;
    std::atomic<bool> paused { true };
    // The stamp of the current run; changed whenever a run ends.
    std::atomic<uint64_t> stamp { 0 };

    std::mutex progressLock;
    DownloadProgress progress;

    std::mutex requestLock;
    CoreStartRequest request;

    std::mutex wakeLock;
    std::condition_variable wake;

    DownloadPage* page = nullptr; // user-interface thread only

    explicit Shared(StallTimings timings)
        : progress(timings)
    {
    }
    bool Current(uint64_t runStamp) const { return !paused && stamp == runStamp; }
    // Sleeps |ms|, or less once the run has ended.
    void Wait(uint64_t runStamp, uint32_t ms)
    {
        std::unique_lock<std::mutex> lock(wakeLock);
        wake.wait_for(lock, std::chrono::milliseconds(ms), [&] { return !Current(runStamp); });
    }
    void Wake()
    {
        {
            std::lock_guard<std::mutex> lock(wakeLock);
        }
        wake.notify_all();
    }
    CoreStartRequest Request()
    {
        std::lock_guard<std::mutex> lock(requestLock);
        return request;
    }
};

struct DownloadPage::Run {
    uint64_t stamp = 0;
    std::thread thread;
    bool done = false; // under Shared::wakeLock
};

DownloadPage::DownloadPage(PageView* view, PageEnvironment environment)
    : view_(view)
    , env_(std::move(environment))
{
    if (!env_.queue)
        env_.queue = &TheUiQueue();
    if (!env_.now)
        env_.now = [] { return TickCountMs(); };
    installDir_ = env_.defaultInstallDir.empty() ? DefaultInstallDir(DriveExists('D'), SystemDriveLetter())
                                                 : env_.defaultInstallDir;
    shared_ = std::make_shared<Shared>(env_.stall);
    shared_->core = env_.core;
    shared_->queue = env_.queue;
    shared_->owner = env_.owner;
    shared_->pollIntervalMs = env_.pollIntervalMs;
    shared_->restartWaitMs = env_.restartWaitMs;
    shared_->now = env_.now;
    shared_->writeVersionRecord = env_.writeVersionRecord;
    shared_->page = this;
    UpdateRequest();
}

DownloadPage::~DownloadPage()
{
    Shutdown();
}

bool DownloadPage::TakeSingleInstance()
{
    if (instanceMutex_.Acquire(kPageTitle))
        return true;
    ShowMessageBox(nullptr, kTextAlreadyLoaded, kPageTitle, MB_ICONINFORMATION);
    return false;
}

void DownloadPage::LoadSettings()
{
    StoredSettings stored;
    if (!ReadSettingsFile(env_.settingsPath, &stored))
        return;
    PageStartSettings start = PageSettingsFrom(stored, installDir_);
    installDir_ = start.installDir;
    maxDownloadSpeed_ = start.maxDownloadSpeed;
    maxUploadSpeed_ = start.maxUploadSpeed;
    UpdateRequest();
}

void DownloadPage::UpdateRequest()
{
    std::lock_guard<std::mutex> lock(shared_->requestLock);
    shared_->request.installDir = installDir_;
    shared_->request.maxDownloadSpeed = maxDownloadSpeed_;
    shared_->request.maxUploadSpeed = maxUploadSpeed_;
}

bool DownloadPage::Ask(const char* text)
{
    return ShowMessageBox(env_.owner, text, kPageTitle, MB_YESNO) == IDYES;
}

bool DownloadPage::paused() const
{
    return shared_->paused;
}

float DownloadPage::avgDownloadSpeed() const
{
    std::lock_guard<std::mutex> lock(shared_->progressLock);
    return shared_->progress.AverageDownloadSpeed();
}

int DownloadPage::LivePollThreads()
{
    std::lock_guard<std::mutex> lock(shared_->wakeLock);
    int live = 0;
    for (auto& run : runs_)
        live += !run->done;
    return live;
}

bool DownloadPage::PollRunning()
{
    if (runs_.empty())
        return false;
    Run* run = runs_.back().get();
    {
        std::lock_guard<std::mutex> lock(shared_->wakeLock);
        if (run->done)
            return false;
    }
    return shared_->Current(run->stamp);
}

// --- Starting and stopping ---------------------------------------------

int DownloadPage::StartDownloadCore(int httpThreads, const char* mode)
{
    if (!env_.core)
        return 0;
    CoreStartRequest request = shared_->Request();
    request.httpThreads = httpThreads;
    request.mode = mode ? mode : "download";
    bool keep = PollRunning();
    uint64_t stamp = 0;
    {
        std::lock_guard<std::mutex> lock(shared_->coreLock);
        if (!env_.core->Start(request))
            return 0;
        if (!keep) {
            // Cleared here, before the run starts, so a pause made after
            // this start is never erased by the run.
            stamp = ++shared_->stamp;
            shared_->paused = false;
        }
    }
    completed_ = false;
    if (keep)
        return 2;
    // The run this one replaces has seen its stamp change; let it end.
    shared_->Wake();
    ReapRuns(kReplaceWaitMs);
    auto run = std::make_shared<Run>();
    run->stamp = stamp;
    runs_.push_back(run);
    run->thread = std::thread(PollThreadMain, shared_, run);
    return 1;
}

void DownloadPage::StopDownload()
{
    {
        std::lock_guard<std::mutex> lock(shared_->coreLock);
        shared_->paused = true;
        ++shared_->stamp;
        if (env_.core)
            env_.core->Stop();
    }
    {
        std::lock_guard<std::mutex> lock(shared_->progressLock);
        shared_->progress.ClearAverages();
    }
    shared_->Wake();
}

void DownloadPage::ReapRuns(uint32_t waitMs)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (auto it = runs_.begin(); it != runs_.end();) {
        Run* run = it->get();
        if (shared_->Current(run->stamp)) {
            ++it;
            continue;
        }
        bool done;
        {
            std::unique_lock<std::mutex> lock(shared_->wakeLock);
            done = shared_->wake.wait_until(lock, deadline, [&] { return run->done; });
        }
        if (!done) {
            ++it;
            continue;
        }
        run->thread.join();
        it = runs_.erase(it);
    }
}

void DownloadPage::Shutdown(uint32_t waitMs)
{
    if (!shared_->page)
        return;
    if (PollRunning())
        StopDownload();
    else {
        // No core is watched any more; still end every run's changes.
        ++shared_->stamp;
        shared_->paused = true;
        shared_->Wake();
    }
    ReapRuns(waitMs);
    // A run still in a message box ends by itself; it holds only the shared
    // block, which no longer knows the page.
    for (auto& run : runs_)
        run->thread.detach();
    runs_.clear();
    shared_->page = nullptr;
}

// --- The poll thread -----------------------------------------------------

void DownloadPage::Post(
    const std::shared_ptr<Shared>& shared, uint64_t stamp, std::function<void(DownloadPage&)> change)
{
    shared->queue->Post([shared, stamp, change] {
        if (shared->page && shared->stamp == stamp)
            change(*shared->page);
    });
}

void DownloadPage::PollThreadMain(std::shared_ptr<Shared> shared, std::shared_ptr<Run> run)
{
    uint64_t stamp = run->stamp;
    while (shared->Current(stamp)) {
        if (!RefreshStatus(shared, run.get()))
            break;
        shared->Wait(stamp, shared->pollIntervalMs);
    }
    {
        std::lock_guard<std::mutex> lock(shared->wakeLock);
        run->done = true;
    }
    shared->wake.notify_all();
}

bool DownloadPage::RefreshStatus(const std::shared_ptr<Shared>& shared, Run* run)
{
    const uint64_t stamp = run->stamp;
    CoreStatus status;
    shared->core->Poll(status);
    Sanitize(status);
    TickOutcome out;
    {
        std::lock_guard<std::mutex> lock(shared->progressLock);
        out = shared->progress.Tick(status, shared->now());
    }
    if (!shared->Current(stamp))
        return false;
    if (out.showDiskFullNotice)
        ShowMessageBox(shared->owner, kTextDiskFull, kTitleWarning, MB_OK);
    // Without its version record the folder is not installed: the page
    // stays downloading and the next tick tries again.
    if (out.action == ProgressAction::kCompleted && shared->writeVersionRecord
        && !shared->writeVersionRecord(shared->Request().installDir))
        out.action = ProgressAction::kNone;
    Post(shared, stamp, [out](DownloadPage& page) { page.ApplyTick(out); });
    switch (out.action) {
    case ProgressAction::kNone:
        return true;
    case ProgressAction::kCompleted:
        return false;
    case ProgressAction::kRestartAfterStall:
    case ProgressAction::kRestartNearEnd:
    case ProgressAction::kRestartAfterQuit: {
        std::lock_guard<std::mutex> lock(shared->coreLock);
        if (shared->Current(stamp))
            shared->core->Stop();
    }
        {
            std::lock_guard<std::mutex> lock(shared->progressLock);
            shared->progress.ClearAverages();
        }
        shared->Wait(stamp, shared->restartWaitMs);
        RestartLoop(shared, stamp, out.restartThreads);
        return true;
    }
    return true;
}

void DownloadPage::RestartLoop(const std::shared_ptr<Shared>& shared, uint64_t stamp, int httpThreads)
{
    for (;;) {
        bool started;
        {
            std::lock_guard<std::mutex> lock(shared->coreLock);
            if (!shared->Current(stamp))
                return;
            CoreStartRequest request = shared->Request();
            request.httpThreads = httpThreads;
            started = shared->core->Start(request);
        }
        if (started)
            return;
        shared->Wait(stamp, shared->restartWaitMs);
    }
}

// --- The display (user-interface thread) ---------------------------------

void DownloadPage::ApplyTick(const TickOutcome& outcome)
{
    view_->SetStatusLine(outcome.statusText);
    view_->SetInfoLine(outcome.infoText);
    if (outcome.action == ProgressAction::kCompleted) {
        completed_ = true;
        view_->ShowButton(PageButton::kStop, false);
        view_->ShowButton(PageButton::kContinue, false);
        view_->ShowButton(PageButton::kFinish, true);
    }
    if (outcome.percentShown)
        ShowPercent(outcome.percent);
}

void DownloadPage::ShowPercent(float x)
{
    x = Clamped(x, -1, 100);
    const int p = static_cast<int>(x);
    if (p == lastPercent_)
        return;
    if (p < 0) {
        view_->ShowPercentPart(PercentPart::kHundreds, false);
        view_->ShowPercentPart(PercentPart::kTens, false);
        view_->ShowPercentPart(PercentPart::kOnes, false);
        view_->ShowPercentPart(PercentPart::kSign, false);
        lastHundreds_ = lastTens_ = lastOnes_ = -1;
        view_->SetProgressValue(0);
        view_->ShowProgressHead(false);
        lastPercent_ = p;
        return;
    }
    const PercentDigits d = DigitsForPercent(p);
    if (d.ones != lastOnes_) {
        if (lastOnes_ == -1) {
            view_->ShowPercentPart(PercentPart::kOnes, true);
            view_->ShowPercentPart(PercentPart::kSign, true);
            view_->ShowProgressHead(true);
        }
        view_->SetDigitImage(PercentPart::kOnes, d.ones);
    }
    if (d.tens != lastTens_) {
        if (d.tens == -1) {
            view_->ShowPercentPart(PercentPart::kTens, false);
        } else {
            if (lastTens_ == -1)
                view_->ShowPercentPart(PercentPart::kTens, true);
            view_->SetDigitImage(PercentPart::kTens, d.tens);
        }
    }
    if (d.hundreds != lastHundreds_)
        view_->ShowPercentPart(PercentPart::kHundreds, d.hundreds == 1);
    lastHundreds_ = d.hundreds;
    lastTens_ = d.tens;
    lastOnes_ = d.ones;
    view_->SetProgressValue(p);
    if (p < 100) {
        view_->ShowProgressHead(true);
        view_->MoveProgressHead(ProgressHeadX(p), kProgressHeadY);
    } else {
        view_->ShowProgressHead(false);
    }
    lastPercent_ = p;
}

void DownloadPage::ShowReady()
{
    view_->ShowButton(PageButton::kInstall, true);
    view_->ShowButton(PageButton::kStop, false);
    view_->ShowButton(PageButton::kContinue, false);
    view_->ShowButton(PageButton::kFinish, false);
    view_->SetStatusLine(std::string());
    view_->SetInfoLine(std::string());
    ShowPercent(-1);
}

// --- Handlers ------------------------------------------------------------

void DownloadPage::OnStart()
{
    if (!view_->IsAcceptChecked()) {
        ShowMessageBox(env_.owner, kTextAcceptFirst, kPageTitle, MB_OK);
        return;
    }
    if (StartDownloadCore(kStartHttpThreads, "download") == 1) {
        view_->ShowButton(PageButton::kInstall, false);
        view_->ShowButton(PageButton::kContinue, false);
        view_->ShowButton(PageButton::kStop, true);
    } else {
        view_->SetStatusLine(kTextInstallFailed);
        view_->SetInfoLine(std::string());
    }
}

void DownloadPage::OnPause()
{
    if (!Ask(kTextConfirmPause))
        return;
    StopDownload();
    view_->SetStatusLine(kTextPaused);
    view_->SetInfoLine(std::string());
    view_->ShowButton(PageButton::kContinue, true);
    view_->ShowButton(PageButton::kStop, false);
}

void DownloadPage::OnAcceptanceChanged()
{
    if (view_->IsAcceptChecked() || !view_->IsButtonVisible(PageButton::kStop))
        return;
    StopDownload();
    view_->SetStatusLine(std::string());
    view_->SetInfoLine(std::string());
    ShowPercent(-1);
    view_->ShowButton(PageButton::kContinue, true);
    view_->ShowButton(PageButton::kStop, false);
}

void DownloadPage::ChooseInstallFolder()
{
    FolderBrowseRequest request;
    request.owner = env_.owner;
    request.prompt = kBrowsePrompt;
    request.initialFolder = installDir_;
    request.windowTitle = kBrowserTitle;
    std::string chosen;
    if (!BrowseForFolder(request, &chosen) || chosen.empty())
        return;
    const std::string candidate = WithTrailingBackslash(chosen) + kInstallSubfolder;
    if (candidate == installDir_)
        return;
    // Refused before anything is asked or stopped: a running download goes on.
    if (candidate.size() > kMaxInstallDirBytes) {
        ShowMessageBox(env_.owner, kTextFolderTooLong, kPageTitle, MB_OK);
        return;
    }
    if (!completed_ && PollRunning()) {
        if (!Ask(kTextConfirmNewFolder))
            return;
        StopDownload();
    }
    if (!view_->SetFolderText(candidate)) {
        ShowMessageBox(env_.owner, kTextFolderTooLong, kPageTitle, MB_OK);
        return;
    }
    installDir_ = candidate;
    UpdateRequest();
    ShowReady();
}

void DownloadPage::OnExit()
{
    if (!completed_ && !Ask(kTextConfirmExit))
        return;
    if (env_.closeMainWindow)
        env_.closeMainWindow();
}

void DownloadPage::OnSettings()
{
    view_->ShowBanner(false);
    if (env_.runSettingsDialog) {
        env_.runSettingsDialog();
    } else {
        CSettingDlg dialog(this, installDir_);
        dialog.DoModal(kSettingsDialogTemplate, env_.owner);
    }
    view_->ShowBanner(true);
}

void DownloadPage::OnFinish()
{
    if (!view_->IsAcceptChecked()) {
        ShowMessageBox(env_.owner, kTextAcceptFirst, kPageTitle, MB_OK);
        return;
    }
    if (env_.completeInstall)
        env_.completeInstall(installDir_);
    if (env_.closeMainWindow)
        env_.closeMainWindow();
}

void DownloadPage::OnAge()
{
    ShellOpen(PublisherPageUrl(kAgeNoticePagePath));
}

void DownloadPage::ApplySettingsLimits(int downloadLimit, int uploadLimit)
{
    maxDownloadSpeed_ = static_cast<float>(downloadLimit);
    maxUploadSpeed_ = static_cast<float>(uploadLimit);
    UpdateRequest();
    if (completed_ || !PollRunning())
        return;
    StopDownload();
    if (StartDownloadCore(kStartHttpThreads, "download") != 1) {
        // Nothing runs any more: offer "continue" instead of a dead "stop".
        view_->SetStatusLine(kTextInstallFailed);
        view_->SetInfoLine(std::string());
        view_->ShowButton(PageButton::kContinue, true);
        view_->ShowButton(PageButton::kStop, false);
    }
}

} // namespace zdl
