// The installer's one download core at a time: starting it (writing the
// program out, opening a listening channel, creating the hidden process),
// the commands sent to it and the status taken from it.
//
// State (all owned here): the launch settings of the last start, the
// current channel and process record, the table of status values, the
// awaiting-file-name flag and the status record. One lock guards all of it:
// a start, a poll tick and a stop each hold it for their whole run, so a
// start on one thread never overlaps a poll on another. Every method may be
// called from any thread; none waits for the core.
//
// The process-wide session is TheCoreSession(). Tests create their own
// sessions with their own environment.
#pragma once

#include "core_client/CoreClientTexts.h"
#include "core_client/CoreLaunch.h"
#include "core_client/CoreStatus.h"
#include "core_client/IInteractive.h"
#include "core_client/StatusProtocol.h"
#include "platform/Process.h"
#include "platform/Resources.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zdl {

// What the session takes from the outside world; the defaults use the
// executable's resources and the real system.
struct CoreClientEnvironment {
    std::function<bool(ResourceBlob*)> findCoreProgram;
    std::function<std::string(int)> loadString; // GBK, empty when missing
    std::function<std::string()> tempFolder;
    std::function<bool(const std::string& folder, uint64_t* freeBytes)> freeDiskSpace;
    // Shows a failure to the player (GBK text and title); the installer
    // uses an error message box.
    std::function<void(const std::string& text, const std::string& title)> reportError;
    // Where a core on the network channel writes its standard output and
    // error; kNoOsHandle leaves it the installer's own. Not owned.
    OsHandle coreOutput = kNoOsHandle;
};
CoreClientEnvironment DefaultCoreClientEnvironment();

// What a start needs from the download page.
struct CoreStartRequest {
    std::string installDir; // ends with a separator
    float maxDownloadSpeed = -1; // KB/s; <= 0 means unlimited
    float maxUploadSpeed = -1;
    int httpThreads = 4;
    std::string mode = "download";
    bool share = true; // pieces with peers on the local network
};

// The start-failure message kCoreStartFailedFormat and its title kErrorTitle
// are in core_client/CoreClientTexts.txt.

class CoreSession {
public:
    explicit CoreSession(CoreClientEnvironment environment);
    ~CoreSession();
    CoreSession(const CoreSession&) = delete;
    CoreSession& operator=(const CoreSession&) = delete;

    // Writes out and launches a core for |request|: the core-start work of
    // the page's StartDownloadCore. False when the core program or the
    // source address cannot be provided (nothing started). A failed process
    // start is reported through reportError and still returns true; the
    // report is made after the lock is released, so a reporter that waits
    // for the player never holds up a poll or stop on another thread.
    bool StartCore(const CoreStartRequest& request);
    void LaunchCore(const std::string& programPath, const CoreLaunchSettings& settings);
    bool StartCoreProcess(const std::string& commandLine, ChannelKind kind);

    bool SendCommand(const char* text);
    bool SendGet(const char* name);
    // Sends "quit". A core that has not connected yet cannot receive it, so
    // it is then ended at once (and the quit kept for its connection).
    bool StopCore();
    bool ReceiveStatusLine(std::string& line);
    bool GetStatusValue(const char* key, std::string& value);
    void ResetStatus();
    void ExtractStatus();
    // One poll: requests, every line already arrived, the rebuilt record.
    void PollCoreStatus(CoreStatus& out);

    // Replaces how a failed core start is shown (the installer's message
    // box instead of the default line on standard error). Called on the
    // starting thread without the session's lock held.
    void SetErrorReporter(std::function<void(const std::string& text, const std::string& title)> report);

    // Observers (copies, taken under the lock).
    CoreLaunchSettings LaunchSettings();
    ProcessRecord CoreProcess();
    uint16_t ChannelPort(); // 0 without a listening network channel
    std::string LastCommandLine();
    bool AwaitingFileName();
    CoreStatus Status();
    // Replaced cores not yet seen to end.
    size_t RetiredCoreCount();

private:
    // A replaced core, kept until it has ended.
    struct RetiredCore {
        std::unique_ptr<IInteractive> channel;
        ProcessRecord process;
        bool started = false;
        uint32_t since = 0; // tick count when it was replaced
    };
    // How long a replaced core may take to end after its quit.
    static constexpr uint32_t kRetireGraceMs = 10000;
    static constexpr int kMaxRetiredLinesPerCall = 1000;

    // A failed process start, reported once the lock is released.
    struct StartFailure {
        std::string text;
        std::function<void(const std::string& text, const std::string& title)> report; // empty: nothing to say
    };
    StartFailure LaunchLocked(const std::string& programPath, const CoreLaunchSettings& settings);
    static void Report(const StartFailure& failure);

    void RetirePreviousCore();
    void ServiceRetiredCores();
    IInteractive* Channel() { return currentChannel_.get(); }

    CoreClientEnvironment env_;
    std::recursive_mutex lock_;
    CoreLaunchSettings launchSettings_;
    std::unique_ptr<IInteractive> currentChannel_;
    ChannelKind channelKind_ = ChannelKind::kNetwork;
    ProcessRecord coreProcess_;
    bool processStarted_ = false;
    bool quitSent_ = false;
    std::string lastCommandLine_;
    StatusValues statusValues_;
    bool awaitingFileName_ = false;
    CoreStatus coreStatus_;
    std::vector<RetiredCore> retired_;
};

// The process-wide session, created on first use with the default
// environment (starting the socket layer).
CoreSession& TheCoreSession();

} // namespace zdl
