#include "app/DownloadPage.h"

#include "platform/WinDefs.h"

#include <mutex>

namespace zdl {

const char kInstallSubfolder[] = "Zephyra\\";

namespace {

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

// What the poll thread's ticks share with the page; it outlives the page.
struct DownloadPage::Shared {
    explicit Shared(const PageEnvironment& env)
        : core(env.core)
        , queue(env.queue)
        , owner(env.owner)
        , now(env.now)
        , showMessageBox(env.showMessageBox)
        , writeVersionRecord(env.writeVersionRecord)
        , progress(env.stall)
    {
    }
    CoreStartRequest Request()
    {
        std::lock_guard<std::mutex> lock(requestLock);
        return request;
    }

    PageCore* const core;
    UiTaskQueue* const queue;
    const NativeWindow owner;
    const std::function<uint32_t()> now;
    const std::function<int(NativeWindow, const char*, const char*, unsigned)> showMessageBox;
    const std::function<bool(const std::string&)> writeVersionRecord;

    mutable std::mutex progressLock;
    DownloadProgress progress;

    std::mutex requestLock;
    CoreStartRequest request;

    DownloadPage* page = nullptr; // user-interface thread only
};

DownloadPage::DownloadPage(PageView* view, PageEnvironment environment)
    : view_(view)
    , env_(std::move(environment))
    , shared_(std::make_shared<Shared>(env_))
{
    installDir_ = env_.defaultInstallDir;
    shared_->page = this;
    PollRuns::Hooks hooks;
    hooks.core = env_.core;
    hooks.pollIntervalMs = env_.pollIntervalMs;
    hooks.restartWaitMs = env_.restartWaitMs;
    std::shared_ptr<Shared> shared = shared_;
    hooks.tick
        = [shared](uint64_t stamp, const std::function<bool()>& current) { return Tick(shared, stamp, current); };
    hooks.request = [shared] { return shared->Request(); };
    hooks.startFailed
        = [shared](uint64_t stamp) { Post(shared, stamp, [](DownloadPage& page) { page.ShowStartFailed(); }); };
    runs_ = std::make_unique<PollRuns>(std::move(hooks));
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
    env_.showMessageBox(nullptr, kTextAlreadyLoaded, kPageTitle, MB_ICONINFORMATION);
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
    share_ = start.share;
    UpdateRequest();
}

void DownloadPage::UpdateRequest()
{
    std::lock_guard<std::mutex> lock(shared_->requestLock);
    shared_->request.installDir = installDir_;
    shared_->request.maxDownloadSpeed = maxDownloadSpeed_;
    shared_->request.maxUploadSpeed = maxUploadSpeed_;
    shared_->request.share = share_;
}

bool DownloadPage::Ask(const char* text)
{
    return env_.showMessageBox(env_.owner, text, kPageTitle, MB_YESNO) == IDYES;
}

float DownloadPage::avgDownloadSpeed() const
{
    std::lock_guard<std::mutex> lock(shared_->progressLock);
    return shared_->progress.AverageDownloadSpeed();
}

// --- Starting and stopping ---------------------------------------------

int DownloadPage::StartDownloadCore(int httpThreads, const char* mode)
{
    switch (runs_->Start(httpThreads, mode)) {
    case PollRuns::Started::kFailed:
        return 0;
    case PollRuns::Started::kNewRun:
        completed_ = false;
        return 1;
    case PollRuns::Started::kKept:
        completed_ = false;
        return 2;
    }
    return 0;
}

void DownloadPage::StopDownload()
{
    runs_->Stop();
    std::lock_guard<std::mutex> lock(shared_->progressLock);
    shared_->progress.ClearAverages();
}

void DownloadPage::Shutdown(uint32_t waitMs)
{
    if (!shared_->page)
        return;
    // A run still in a message box ends by itself; it holds only the shared
    // block, which no longer knows the page.
    runs_->Shutdown(waitMs);
    shared_->page = nullptr;
}

// --- The poll thread -----------------------------------------------------

void DownloadPage::Post(
    const std::shared_ptr<Shared>& shared, uint64_t stamp, std::function<void(DownloadPage&)> change)
{
    shared->queue->Post([shared, stamp, change] {
        DownloadPage* page = shared->page;
        if (page && page->runs_->StampIs(stamp))
            change(*page);
    });
}

TickVerdict DownloadPage::Tick(
    const std::shared_ptr<Shared>& shared, uint64_t stamp, const std::function<bool()>& current)
{
    CoreStatus status;
    shared->core->Poll(status);
    Sanitize(status);
    TickOutcome out;
    {
        std::lock_guard<std::mutex> lock(shared->progressLock);
        out = shared->progress.Tick(status, shared->now());
    }
    if (!current())
        return TickVerdict { TickStep::kEnd, 0 };
    // Without its version record the folder is not installed: the page
    // stays downloading and the next tick tries again.
    if (out.action == ProgressAction::kCompleted && shared->writeVersionRecord
        && !shared->writeVersionRecord(shared->Request().installDir))
        out.action = ProgressAction::kNone;
    Post(shared, stamp, [out](DownloadPage& page) { page.ApplyTick(out); });
    if (out.showDiskFullNotice) {
        // The player may leave the box open for long: the page shows this
        // tick's texts while it stands and the newest status's at once
        // after it closes, never this tick's again.
        shared->showMessageBox(shared->owner, kTextDiskFull, kTitleWarning, MB_OK);
        if (out.action == ProgressAction::kNone)
            return TickVerdict { TickStep::kNow, 0 };
    }
    switch (out.action) {
    case ProgressAction::kNone:
        return TickVerdict { TickStep::kWait, 0 };
    case ProgressAction::kCompleted:
        return TickVerdict { TickStep::kEnd, 0 };
    case ProgressAction::kRestartAfterStall:
    case ProgressAction::kRestartNearEnd:
    case ProgressAction::kRestartAfterQuit: {
        std::lock_guard<std::mutex> lock(shared->progressLock);
        shared->progress.ClearAverages();
        return TickVerdict { TickStep::kRestart, out.restartThreads };
    }
    }
    return TickVerdict { TickStep::kWait, 0 };
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

void DownloadPage::ShowStartFailed()
{
    // Nothing runs any more: offer "continue" instead of a dead "stop".
    view_->SetStatusLine(kTextInstallFailed);
    view_->SetInfoLine(std::string());
    view_->ShowButton(PageButton::kContinue, true);
    view_->ShowButton(PageButton::kStop, false);
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
        env_.showMessageBox(env_.owner, kTextAcceptFirst, kPageTitle, MB_OK);
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
        env_.showMessageBox(env_.owner, kTextFolderTooLong, kPageTitle, MB_OK);
        return;
    }
    if (!completed_ && PollRunning()) {
        if (!Ask(kTextConfirmNewFolder))
            return;
        StopDownload();
    }
    if (!view_->SetFolderText(candidate)) {
        env_.showMessageBox(env_.owner, kTextFolderTooLong, kPageTitle, MB_OK);
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
    if (!env_.runSettingsDialog)
        return;
    view_->ShowBanner(false);
    const SettingsChoice choice = env_.runSettingsDialog(env_.owner, env_.settingsPath, installDir_);
    view_->ShowBanner(true);
    if (choice.saved)
        ApplySettingsLimits(choice.downloadLimit, choice.uploadLimit, choice.share);
}

void DownloadPage::OnFinish()
{
    if (!view_->IsAcceptChecked()) {
        env_.showMessageBox(env_.owner, kTextAcceptFirst, kPageTitle, MB_OK);
        return;
    }
    // A version record that still cannot be written keeps the window open:
    // the player was told why, and "finish" tries again.
    if (env_.completeInstall && !env_.completeInstall(installDir_))
        return;
    if (env_.closeMainWindow)
        env_.closeMainWindow();
}

void DownloadPage::OnAge()
{
    if (env_.openUrl && !env_.ageNoticeUrl.empty())
        env_.openUrl(env_.ageNoticeUrl);
}

void DownloadPage::ApplySettingsLimits(int downloadLimit, int uploadLimit, bool share)
{
    maxDownloadSpeed_ = static_cast<float>(downloadLimit);
    maxUploadSpeed_ = static_cast<float>(uploadLimit);
    share_ = share;
    UpdateRequest();
    if (completed_ || !PollRunning())
        return;
    StopDownload();
    if (StartDownloadCore(kStartHttpThreads, "download") != 1)
        ShowStartFailed();
}

} // namespace zdl
