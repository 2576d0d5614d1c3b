#include "app/headless/HeadlessDownloader.h"

#include "platform/Console.h"
#include "platform/SystemInfo.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>

namespace zdl {

namespace {

    constexpr int kBarWidth = 30;
    constexpr uint32_t kStartRetryMs = 1000;

    bool ParseNumber(const char* text, double* out)
    {
        char* end = nullptr;
        double v = std::strtod(text, &end);
        if (end == text || *end != '\0')
            return false;
        *out = v;
        return true;
    }

} // namespace

HeadlessDownloader::HeadlessDownloader(HeadlessOptions options, Output output, StopCheck stopRequested)
    : options_(std::move(options))
    , output_(std::move(output))
    , stopRequested_(std::move(stopRequested))
    , progress_(options_.timings)
{
    if (!options_.installDir.empty() && options_.installDir.back() != kPathSeparator
        && options_.installDir.back() != '\\')
        options_.installDir += kPathSeparator;

    CoreClientEnvironment env = DefaultCoreClientEnvironment();
    if (!options_.coreProgramFile.empty()) {
        std::ifstream f(options_.coreProgramFile, std::ios::binary);
        programBytes_.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
        const bool found = f.good() || f.eof();
        env.findCoreProgram = [this, found](ResourceBlob* out) {
            if (!found || programBytes_.empty())
                return false;
            out->data = reinterpret_cast<const unsigned char*>(programBytes_.data());
            out->size = programBytes_.size();
            return true;
        };
    }
    if (!options_.sourceUrl.empty()) {
        const std::string source = options_.sourceUrl;
        auto strings = env.loadString;
        env.loadString = [source, strings](int id) { return id == kResSourceUrl ? source : strings(id); };
    }
    if (!options_.tempFolder.empty()) {
        std::string temp = options_.tempFolder;
        if (temp.back() != kPathSeparator)
            temp += kPathSeparator;
        env.tempFolder = [temp] { return temp; };
    }
    if (!options_.coreLogFile.empty()) {
        coreLog_ = OpenInheritableLogFile(options_.coreLogFile);
        env.coreOutput = coreLog_;
    }
    env.reportError = [this](const std::string& text, const std::string& title) {
        launchFailed_ = true;
        output_(GbkToUtf8(title + ": " + text) + "\n", false);
    };
    session_ = std::make_unique<CoreSession>(std::move(env));
}

HeadlessDownloader::~HeadlessDownloader()
{
    session_.reset();
    CloseOsHandle(coreLog_);
}

void HeadlessDownloader::Print(const std::string& text)
{
    output_(GbkToUtf8(text) + "\n", false);
}

bool HeadlessDownloader::SleepUnlessStopped(uint32_t ms)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
        if (stopRequested_())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return !stopRequested_();
}

bool HeadlessDownloader::Start(int httpThreads)
{
    CoreStartRequest request;
    request.installDir = options_.installDir;
    request.maxDownloadSpeed = options_.maxDownloadSpeed;
    request.maxUploadSpeed = options_.maxUploadSpeed;
    request.share = options_.share;
    request.httpThreads = httpThreads;
    request.mode = "download";
    if (!session_->StartCore(request))
        return false;
    if (!launchFailed_) {
        const ProcessRecord p = session_->CoreProcess();
        output_("core started: pid " + std::to_string(p.processId) + ", port " + std::to_string(session_->ChannelPort())
                + ", " + std::to_string(httpThreads) + " HTTP threads\n",
            false);
    }
    return true;
}

// Stop, wait, start again until a start succeeds or the run is stopped.
bool HeadlessDownloader::Restart(int httpThreads)
{
    session_->StopCore();
    if (!SleepUnlessStopped(options_.restartDelayMs))
        return false;
    while (!Start(httpThreads)) {
        if (!SleepUnlessStopped(kStartRetryMs))
            return false;
    }
    return true;
}

std::string HeadlessDownloader::RenderLine(
    int percent, const CoreStatus& status, const TickOutcome& outcome, bool ascii)
{
    const int shown = percent < 0 ? 0 : (percent > 100 ? 100 : percent);
    const int filled = shown * kBarWidth / 100;
    std::string bar = "[";
    for (int i = 0; i < kBarWidth; ++i) {
        if (ascii)
            bar += i < filled ? "#" : ".";
        else
            bar += i < filled ? "█" : "░"; // full block, light shade
    }
    bar += "]";
    char head[32];
    if (percent < 0)
        std::snprintf(head, sizeof head, "  --%%");
    else
        std::snprintf(head, sizeof head, " %3d%%", percent);
    std::string line = bar + head;
    if (ascii)
        line += " state=" + std::to_string(status.p2pState);
    if (!outcome.statusText.empty())
        line += "  " + GbkToUtf8(outcome.statusText);
    if (!outcome.infoText.empty())
        line += "  " + GbkToUtf8(outcome.infoText);
    return line;
}

int HeadlessDownloader::Run()
{
    if (!Start(DownloadProgress::kInitialHttpThreads)) {
        Print(kTextInstallFailed);
        return kHeadlessStartFailed;
    }
    if (launchFailed_)
        return kHeadlessLaunchFailed;
    const auto began = std::chrono::steady_clock::now();
    for (;;) {
        CoreStatus status;
        session_->PollCoreStatus(status);
        TickOutcome outcome = progress_.Tick(status, TickCountMs());
        if (outcome.percentShown)
            percent_ = static_cast<int>(outcome.percent);
        output_(RenderLine(percent_, status, outcome, options_.lineMode), !options_.lineMode);
        if (outcome.showDiskFullNotice)
            output_("\n" + GbkToUtf8(std::string(kTitleWarning) + ": " + kTextDiskFull) + "\n", false);

        switch (outcome.action) {
        case ProgressAction::kCompleted:
            output_("\n", false);
            Print(std::string(kTextDownloadDone) + ": " + status.fileName);
            return kHeadlessCompleted;
        case ProgressAction::kRestartAfterStall:
        case ProgressAction::kRestartNearEnd:
        case ProgressAction::kRestartAfterQuit:
            output_(options_.lineMode ? "" : "\n", false);
            if (!Restart(outcome.restartThreads))
                break;
            if (launchFailed_)
                return kHeadlessLaunchFailed;
            continue;
        case ProgressAction::kNone:
            break;
        }

        if (!SleepUnlessStopped(options_.pollIntervalMs)) {
            session_->StopCore();
            output_("\nstopped: the core was told to quit; run again to continue\n", false);
            return kHeadlessInterrupted;
        }
        const auto elapsed = std::chrono::steady_clock::now() - began;
        if (options_.maxSeconds && elapsed >= std::chrono::seconds(options_.maxSeconds)) {
            session_->StopCore();
            output_("\ntime limit reached: the core was told to quit\n", false);
            return kHeadlessTimeLimit;
        }
    }
}

const char* HeadlessDownloader::Usage()
{
    return "usage: zdl-headless <install folder> [--down KB/s] [--up KB/s] [--source URL]\n"
           "                    [--temp folder] [--core-program file] [--stall-ms n] [--end-stall-ms n]\n"
           "                    [--poll-ms n] [--restart-delay-ms n] [--max-seconds n] [--core-log file]\n"
           "                    [--log]\n";
}

bool HeadlessDownloader::ParseArguments(int argc, char** argv, HeadlessOptions* options, std::string* error)
{
    if (argc < 2) {
        *error = "no install folder";
        return false;
    }
    options->installDir = argv[1];
    for (int i = 2; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--log") {
            options->lineMode = true;
            continue;
        }
        if (opt == "--no-share") {
            options->share = false;
            continue;
        }
        if (i + 1 >= argc) {
            *error = "missing value for " + opt;
            return false;
        }
        const char* value = argv[++i];
        double number = 0;
        const bool isNumber = ParseNumber(value, &number);
        const bool wholeNumber = isNumber && number >= 0 && number <= 4294967295.0;
        if (opt == "--source") {
            options->sourceUrl = value;
        } else if (opt == "--temp") {
            options->tempFolder = value;
        } else if (opt == "--core-log") {
            options->coreLogFile = value;
        } else if (opt == "--core-program") {
            options->coreProgramFile = value;
        } else if (opt == "--down" && isNumber) {
            options->maxDownloadSpeed = static_cast<float>(number);
        } else if (opt == "--up" && isNumber) {
            options->maxUploadSpeed = static_cast<float>(number);
        } else if (opt == "--stall-ms" && wholeNumber) {
            options->timings.stallMs = static_cast<uint32_t>(number);
        } else if (opt == "--end-stall-ms" && wholeNumber) {
            options->timings.endStallMs = static_cast<uint32_t>(number);
        } else if (opt == "--poll-ms" && wholeNumber) {
            options->pollIntervalMs = static_cast<uint32_t>(number);
        } else if (opt == "--restart-delay-ms" && wholeNumber) {
            options->restartDelayMs = static_cast<uint32_t>(number);
        } else if (opt == "--max-seconds" && wholeNumber) {
            options->maxSeconds = static_cast<uint32_t>(number);
        } else {
            *error = "bad option " + opt + " " + value;
            return false;
        }
    }
    return true;
}

} // namespace zdl
