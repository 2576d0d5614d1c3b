// What the download page shows while a download runs, and when it restarts
// the core, computed once a second from the core's status: the status line
// (phase or time left, or a server trouble that lasts), the info line (size
// and speed), the percent, the speed averages over the last 10 ticks, the
// stall watch and the halving of HTTP threads after a stall.
//
// Portable and free of any drawing: the page (and the headless downloader)
// turn a TickOutcome into controls or terminal text and carry out its
// action (stop the core, wait, start it again). One DownloadProgress lives
// for the whole process, so a later start begins with the earlier averages
// and a halved thread count stays halved. Used by one thread at a time (the
// poll thread).
//
// Every text is GBK.
#pragma once

#include "app/AppTexts.h"
#include "core_client/CoreStatus.h"

#include <cstdint>
#include <string>

namespace zdl {

// Prefixes of the page's two rich-text lines.
extern const char kStatusLinePrefix[]; // "#cC4B78B#h12"
extern const char kInfoLinePrefix[]; // "#c7D7D7D#h12"

// The texts (kTextDownloadDone, kTextDiskFull, kTextState..., the time and
// speed formats) are in app/AppTexts.txt.

// The status text of a core phase, or null when the phase has none (1, 2, 9)
// or lies outside 0..17. Phase 14 has a text but shows the time left.
const char* StatusTextForState(int p2pState);

// "预计还需 %d小时%d分", "预计还需 %d分" or "预计还需时间不确定" for
// |incompleteByte| at |avgSpeedKBs| (counted as 1000 bytes per KB).
std::string RemainingTimeText(float avgSpeedKBs, uint64_t incompleteByte);

// "文件大小：%.1fG/%.1fG  下载速度：%.1f%cB/s".
std::string SizeAndSpeedText(uint64_t totalByte, float percentage, float avgSpeedKBs);

// What the status line says about a server trouble in |status|, or null
// when there is none: the core waits on a busy server, or reports
// "DownloadTorrent", "ReadSeed" or "DownloadSeed" (the description, or
// while downloading a file), told apart by the error code. Disk and file
// errors on the player's side have texts and boxes of their own.
const char* ServerTroubleText(const CoreStatus& status);

// The percent display for a percentage truncated to |p|: hundreds digit 1
// or -1 (hidden), tens digit or -1, ones digit; and where the progress head
// stands on the bar.
struct PercentDigits {
    int hundreds = -1;
    int tens = -1;
    int ones = -1;
};
PercentDigits DigitsForPercent(int p);
int ProgressHeadX(int p);

// Mean of the last 10 samples; a new ring is all zeros, so the mean climbs
// over the first 10 ticks.
class SpeedAverage {
public:
    static constexpr int kSamples = 10;
    void Add(float sample);
    float Mean() const;

private:
    float samples_[kSamples] = {};
    int next_ = 0;
};

// How long a download may make no progress before the core is restarted,
// and how long a server trouble lasts before the status line tells it (the
// core reports a failure only once it persists; the grace keeps a passing
// one off the line).
struct StallTimings {
    uint32_t stallMs = 930000; // anywhere: 15.5 minutes
    uint32_t endStallMs = 300000; // above 99 %: 5 minutes
    uint32_t serverTroubleGraceMs = 10000;
};

// What the caller must do after a tick.
enum class ProgressAction {
    kNone,
    kRestartAfterStall, // stop, wait 1 s, start with restartThreads
    kRestartNearEnd, // stop, wait 1 s, start with 4 threads
    kRestartAfterQuit, // the core quit by itself: stop, wait 1 s, start with 4
    kCompleted, // complete with a known file name: write the version record, finish
};

struct TickOutcome {
    std::string statusText; // status line; empty clears it
    std::string infoText; // info line; empty clears it
    bool percentShown = false; // whether |percent| is to be shown
    float percent = 0; // for the percent display (truncated there)
    ProgressAction action = ProgressAction::kNone;
    int restartThreads = 4; // for the restart actions
    bool showDiskFullNotice = false; // the disk-full message, once per episode
};

class DownloadProgress {
public:
    static constexpr int kInitialHttpThreads = 4;

    explicit DownloadProgress(StallTimings timings = StallTimings())
        : timings_(timings)
    {
    }

    // One tick with the core's status at |nowMs| (a millisecond tick count).
    TickOutcome Tick(const CoreStatus& status, uint32_t nowMs);

    // The page's speed averages; set to 0 when the core is stopped.
    float AverageDownloadSpeed() const { return avgDownload_; }
    float AverageUploadSpeed() const { return avgUpload_; }
    void ClearAverages();
    int HttpThreadCount() const { return httpThreads_; }

private:
    void TickDownloading(const CoreStatus& status, uint32_t nowMs, TickOutcome& out);
    void TickOtherPhase(const CoreStatus& status, TickOutcome& out);
    void Reconnecting(TickOutcome& out);
    void TellLastingTrouble(const CoreStatus& status, uint32_t nowMs, TickOutcome& out);
    void TellRefusedLink(const CoreStatus& status, TickOutcome& out);

    StallTimings timings_;
    SpeedAverage downloadSamples_;
    SpeedAverage uploadSamples_;
    float avgDownload_ = 0;
    float avgUpload_ = 0;
    int httpThreads_ = kInitialHttpThreads;
    float lastSeenPercent_ = -1;
    uint32_t stallStart_ = 0;
    uint32_t endStallStart_ = 0;
    bool diskFullShown_ = false;
    bool troubleWatched_ = false; // a server trouble was reported at the last tick
    uint32_t troubleStart_ = 0; // since when, while watched
};

} // namespace zdl
