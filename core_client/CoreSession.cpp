#include "core_client/CoreSession.h"

#include "core_client/ConsoleInteractive.h"
#include "core_client/NetworkInteractive.h"
#include "platform/Socket.h"
#include "platform/SystemInfo.h"

#include <cstdio>

namespace zdl {

CoreClientEnvironment DefaultCoreClientEnvironment()
{
    CoreClientEnvironment env;
    env.findCoreProgram = [](ResourceBlob* out) { return FindResourceBlob(kResTypeProgram, kResCoreProgram, out); };
    env.loadString = [](int id) { return LoadResourceString(id); };
    env.tempFolder = [] { return TempFolder(); };
    env.freeDiskSpace = [](const std::string& folder, uint64_t* bytes) { return FreeDiskSpace(folder, bytes); };
    env.reportError = [](const std::string& text, const std::string& title) {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    };
    return env;
}

CoreSession::CoreSession(CoreClientEnvironment environment)
    : env_(std::move(environment))
{
}

// Cores still running are left running (a core ends by itself when its
// channel goes away).
CoreSession::~CoreSession()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (currentChannel_)
        currentChannel_->Close();
    CloseProcessRecord(&coreProcess_);
    for (RetiredCore& r : retired_) {
        r.channel->Close();
        CloseProcessRecord(&r.process);
    }
}

bool CoreSession::StartCore(const CoreStartRequest& request)
{
    StartFailure failure;
    {
        std::lock_guard<std::recursive_mutex> hold(lock_);
        const std::string namePart = env_.loadString(kResProductTitle) + "_" + env_.loadString(kResCoreSuffix);
        ResourceBlob program;
        if (!env_.findCoreProgram(&program))
            return false;
        std::string path;
        if (!ExtractCoreProgram(namePart, program, env_.tempFolder(), path))
            return false;
        const std::string source = env_.loadString(kResSourceUrl);
        if (source.empty())
            return false;

        CoreLaunchSettings settings;
        settings.sourceUrl = source;
        settings.installDir = request.installDir;
        settings.mode = request.mode;
        settings.httpThreads = request.httpThreads;
        settings.p2pUploadThreads = 6;
        settings.p2pUploadListSize = 12;
        settings.deleteDownloadInfo = true;
        settings.downloadLimit = CoreSpeedLimit(request.maxDownloadSpeed);
        settings.uploadLimit = CoreSpeedLimit(request.maxUploadSpeed);
        settings.share = request.share;
        failure = LaunchLocked(path, settings);
    }
    Report(failure);
    return true;
}

void CoreSession::LaunchCore(const std::string& programPath, const CoreLaunchSettings& settings)
{
    StartFailure failure;
    {
        std::lock_guard<std::recursive_mutex> hold(lock_);
        failure = LaunchLocked(programPath, settings);
    }
    Report(failure);
}

CoreSession::StartFailure CoreSession::LaunchLocked(const std::string& programPath, const CoreLaunchSettings& settings)
{
    ResetStatus();
    awaitingFileName_ = true;
    launchSettings_ = settings;
    std::string options;
    if (!BuildCoreArguments(launchSettings_, options))
        options.clear();
    const std::string commandLine = QuoteProgramPath(programPath) + " " + options;
    StartFailure failure;
    if (StartCoreProcess(commandLine, ChannelKind::kNetwork))
        return failure;
    const uint32_t code = LastErrorCode();
    char text[256];
    std::snprintf(text, sizeof text, kCoreStartFailedFormat, static_cast<int>(code));
    failure.text = text;
    failure.report = env_.reportError;
    return failure;
}

// Called without the lock: the installer's reporter shows a modal message
// box, and a poll or stop on another thread must not wait for the player.
void CoreSession::Report(const StartFailure& failure)
{
    if (failure.report)
        failure.report(failure.text, kErrorTitle);
}

// The previous core must not keep running beside the new one: it gets its
// "quit" if it never had one, and one that never connected (so cannot hear
// it) is ended at once. Its channel stays open until it has ended, so the
// quit is not cut off by closing the connection under it.
void CoreSession::RetirePreviousCore()
{
    if (currentChannel_) {
        const std::string quit = std::string(kCommandQuit) + "\n";
        bool reachable = true;
        if (channelKind_ == ChannelKind::kNetwork)
            reachable = static_cast<NetworkInteractive*>(currentChannel_.get())->AcceptPending();
        if (reachable && !quitSent_)
            currentChannel_->Send(quit);
        if (!reachable && processStarted_)
            KillProcess(coreProcess_);
        RetiredCore r;
        r.channel = std::move(currentChannel_);
        r.process = coreProcess_;
        r.started = processStarted_;
        r.since = TickCountMs();
        retired_.push_back(std::move(r));
    } else {
        CloseProcessRecord(&coreProcess_);
    }
    coreProcess_ = ProcessRecord();
    processStarted_ = false;
    quitSent_ = false;
    ServiceRetiredCores();
}

// Reads and drops what retired cores still say, and lets go of each once it
// has ended; one that outlives kRetireGraceMs after its quit is ended.
void CoreSession::ServiceRetiredCores()
{
    for (size_t i = 0; i < retired_.size();) {
        RetiredCore& r = retired_[i];
        std::string line;
        for (int n = 0; n < kMaxRetiredLinesPerCall && r.channel->ReceiveLine(line); ++n) { }
        int exitCode = 0;
        bool ended = !r.started || WaitForProcessExit(r.process, 0, &exitCode);
        if (!ended && TickCountMs() - r.since >= kRetireGraceMs) {
            KillProcess(r.process);
            WaitForProcessExit(r.process, 0, &exitCode);
            ended = true;
        }
        if (ended) {
            r.channel->Close();
            CloseProcessRecord(&r.process);
            retired_.erase(retired_.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

bool CoreSession::StartCoreProcess(const std::string& commandLine, ChannelKind kind)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    RetirePreviousCore();
    statusValues_.clear();
    channelKind_ = kind;
    lastCommandLine_ = commandLine;

    std::string line = commandLine;
    ChildStdHandles stdHandles;
    const ChildStdHandles* handles = nullptr;
    if (kind == ChannelKind::kConsole) {
        auto console = std::make_unique<ConsoleInteractive>(ChannelSide::kParent);
        ConsoleInteractive* c = console.get();
        currentChannel_ = std::move(console);
        if (!c->Open() || !c->FillStartupInfo(&stdHandles))
            return false;
        handles = &stdHandles;
    } else {
        StartSocketLayer();
        auto net = std::make_unique<NetworkInteractive>(0);
        NetworkInteractive* n = net.get();
        currentChannel_ = std::move(net);
        if (!n->Open())
            return false;
        line += " -InteractivePort " + std::to_string(static_cast<unsigned>(n->Port()));
        if (env_.coreOutput != kNoOsHandle) {
            stdHandles.output = env_.coreOutput;
            stdHandles.error = env_.coreOutput;
            handles = &stdHandles;
        }
    }
    lastCommandLine_ = line;
    if (!CreateHiddenProcess(line, handles, &coreProcess_))
        return false;
    processStarted_ = true;
    if (kind == ChannelKind::kConsole)
        static_cast<ConsoleInteractive*>(currentChannel_.get())->ReleaseChildEnds();
    return true;
}

bool CoreSession::SendCommand(const char* text)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!currentChannel_)
        return false;
    return currentChannel_->Send(std::string(text) + "\n");
}

bool CoreSession::SendGet(const char* name)
{
    return SendCommand((std::string(kCommandGet) + " " + name).c_str());
}

bool CoreSession::StopCore()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!currentChannel_)
        return false;
    const std::string quit = std::string(kCommandQuit) + "\n";
    if (channelKind_ != ChannelKind::kNetwork) {
        quitSent_ = currentChannel_->Send(quit);
        return quitSent_;
    }
    auto* net = static_cast<NetworkInteractive*>(currentChannel_.get());
    if (!net->SendWhenConnected(quit))
        return false;
    quitSent_ = true;
    if (!net->IsConnected() && processStarted_)
        KillProcess(coreProcess_);
    return true;
}

bool CoreSession::ReceiveStatusLine(std::string& line)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!currentChannel_ || !currentChannel_->ReceiveLine(line))
        return false;
    ParseStatusLine(line, statusValues_);
    return true;
}

bool CoreSession::GetStatusValue(const char* key, std::string& value)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    auto it = statusValues_.find(key);
    if (it == statusValues_.end())
        return false;
    value = it->second;
    return true;
}

void CoreSession::ResetStatus()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    zdl::ResetStatus(coreStatus_);
}

void CoreSession::ExtractStatus()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    const std::string folder = TrimInstallDir(launchSettings_.installDir);
    auto freeSpace
        = [this, &folder](uint64_t* bytes) { return env_.freeDiskSpace && env_.freeDiskSpace(folder, bytes); };
    zdl::ExtractStatus(statusValues_, coreStatus_, awaitingFileName_, freeSpace);
}

void CoreSession::PollCoreStatus(CoreStatus& out)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!retired_.empty())
        ServiceRetiredCores();
    SendCommand(kCommandStat);
    SendGet(kGetTotals);
    if (awaitingFileName_)
        SendGet(kGetFirstFile);
    std::string line;
    while (ReceiveStatusLine(line)) { }
    ExtractStatus();
    out = coreStatus_;
}

void CoreSession::SetErrorReporter(std::function<void(const std::string& text, const std::string& title)> report)
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    env_.reportError = std::move(report);
}

CoreLaunchSettings CoreSession::LaunchSettings()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return launchSettings_;
}

ProcessRecord CoreSession::CoreProcess()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return coreProcess_;
}

uint16_t CoreSession::ChannelPort()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    if (!currentChannel_ || channelKind_ != ChannelKind::kNetwork)
        return 0;
    return static_cast<NetworkInteractive*>(currentChannel_.get())->Port();
}

std::string CoreSession::LastCommandLine()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return lastCommandLine_;
}

bool CoreSession::AwaitingFileName()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return awaitingFileName_;
}

CoreStatus CoreSession::Status()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return coreStatus_;
}

size_t CoreSession::RetiredCoreCount()
{
    std::lock_guard<std::recursive_mutex> hold(lock_);
    return retired_.size();
}

CoreSession& TheCoreSession()
{
    static CoreSession* session = [] {
        StartSocketLayer();
        return new CoreSession(DefaultCoreClientEnvironment());
    }();
    return *session;
}

} // namespace zdl
