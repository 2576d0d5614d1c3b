#include "app/DownloadProgress.h"

#include <cstdio>
#include <cstring>

namespace zdl {

const char kStatusLinePrefix[] = "#cC4B78B#h12";
const char kInfoLinePrefix[] = "#c7D7D7D#h12";

static const char* const kStatusTexts[kStateCount] = {
    kTextStateBegin,
    nullptr, // kStateParsePara
    nullptr, // kStateParseParaError
    kTextStateIniting,
    kTextStateInitError,
    kTextStateGetSeedMd5,
    kTextStateGetSeedMd5Fail,
    kTextStateCheckSeedFile,
    kTextStateDownloadSeedFile,
    nullptr, // kStateDownloadSeedFileFail
    kTextStateAnalysisSeed,
    kTextStateCreateFile,
    kTextStateAllFileCheckMd5,
    kTextStateAnalysisSeedError,
    kTextStateDownloading,
    kTextStateDownloadCompleted,
    kTextStateToQuit,
    kTextStateQuit,
};

const char* StatusTextForState(int p2pState)
{
    if (p2pState < 0 || p2pState >= kStateCount)
        return nullptr;
    return kStatusTexts[p2pState];
}

std::string RemainingTimeText(float avgSpeedKBs, uint64_t incompleteByte)
{
    if (!(avgSpeedKBs > 0.1f))
        return kTimeUnknown;
    const double seconds = static_cast<double>(incompleteByte) / (static_cast<double>(avgSpeedKBs) * 1000.0);
    // More than 99 hours reads as unknown; comparing before converting also
    // keeps huge values out of the integer conversion.
    if (seconds >= 100.0 * 3600.0)
        return kTimeUnknown;
    const int whole = static_cast<int>(seconds); // toward zero
    const int hours = whole / 3600;
    const int minutes = (whole / 60) % 60;
    char text[64];
    if (hours >= 1)
        std::snprintf(text, sizeof text, kTimeHoursMinutes, hours, minutes);
    else
        std::snprintf(text, sizeof text, kTimeMinutes, minutes);
    return text;
}

std::string SizeAndSpeedText(uint64_t totalByte, float percentage, float avgSpeedKBs)
{
    static const char kUnits[] = { 'K', 'M', 'G', 'T' };
    const double total = static_cast<double>(totalByte) / 1073741824.0;
    const double done = total * percentage / 100.0;
    double speed = avgSpeedKBs;
    int unit = 0;
    while (speed > 1024 && unit < 3) {
        speed /= 1024;
        ++unit;
    }
    char text[160];
    std::snprintf(text, sizeof text, kSizeSpeedFormat, done, total, speed, kUnits[unit]);
    return text;
}

const char* ServerTroubleText(const CoreStatus& status)
{
    const bool fileFails = status.errorKind == kErrorDownloadSeed && status.p2pState == kStateDownloading;
    const bool descriptionFails = !fileFails
        && (status.errorKind == kErrorDownloadTorrent || status.errorKind == kErrorDownloadSeed
            || status.errorKind == kErrorReadSeed);
    if (status.serverBusy)
        return kTextServerBusy;
    if (!fileFails && !descriptionFails)
        return nullptr;
    if (status.errorKind == kErrorReadSeed)
        return kTextServerBadDescription;
    if (status.errorKind == kErrorDownloadTorrent) {
        switch (status.errorCode) {
        case kCodeNoSignature:
            return kTextReleaseUnsigned;
        case kCodeMalformedSignature:
        case kCodeBadSignature:
        case kCodeNoSignedTime:
            return kTextReleaseBadSignature;
        case kCodeUnknownKey:
            return kTextReleaseOtherKey;
        case kCodeOlderRelease:
            return kTextReleaseOlder;
        default:
            break;
        }
    }
    switch (status.errorCode) {
    case 429: // too many requests
    case 503: // service unavailable
        return kTextServerBusy;
    case 404: // not found
    case 410: // gone
        return fileFails ? kTextServerFilesMissing : kTextServerNoDescription;
    case kCodeShortBody:
        return kTextServerCutOff;
    case kCodeHashMismatch:
        return fileFails ? kTextServerFilesDamaged : kTextServerBadDescription;
    case kCodeTimeout:
        return kTextServerTimeout;
    case kCodeNoConnection:
        return kTextServerUnreachable;
    case kCodeBadDescription:
        return kTextServerBadDescription;
    case kCodeReleaseChanged:
        return kTextServerReleaseChanged;
    default:
        break;
    }
    if (status.errorCode >= 400 && status.errorCode <= 599)
        return kTextServerRefused;
    return kTextServerTrouble;
}

PercentDigits DigitsForPercent(int p)
{
    PercentDigits d;
    if (p < 0)
        return d;
    d.hundreds = p >= 100 ? 1 : -1;
    d.tens = p >= 10 ? (p / 10) % 10 : -1;
    d.ones = p % 10;
    return d;
}

int ProgressHeadX(int p)
{
    return static_cast<int>(p / 100.0 * 638 + 100);
}

void SpeedAverage::Add(float sample)
{
    samples_[next_] = sample;
    next_ = (next_ + 1) % kSamples;
}

float SpeedAverage::Mean() const
{
    float sum = 0;
    for (float s : samples_)
        sum += s / kSamples;
    return sum;
}

void DownloadProgress::ClearAverages()
{
    avgDownload_ = 0;
    avgUpload_ = 0;
}

void DownloadProgress::Reconnecting(TickOutcome& out)
{
    stallStart_ = 0;
    endStallStart_ = 0;
    out.statusText = kTextReconnecting;
    out.infoText.clear();
    ClearAverages();
}

TickOutcome DownloadProgress::Tick(const CoreStatus& status, uint32_t nowMs)
{
    TickOutcome out;
    if (status.p2pState == kStateDownloading)
        TickDownloading(status, nowMs, out);
    else
        TickOtherPhase(status, out);
    TellLastingTrouble(status, nowMs, out);
    TellRefusedLink(status, out);
    return out;
}

// A server trouble replaces the status line once it has lasted the grace
// period, whatever the phase; the first tick without it ends the episode
// and the phase's own text is back. A full disk keeps its text (and box),
// and a finished download its "下载完成".
void DownloadProgress::TellLastingTrouble(const CoreStatus& status, uint32_t nowMs, TickOutcome& out)
{
    const char* text = ServerTroubleText(status);
    if (!text || status.errorKind == kErrorDiskFull || status.p2pState == kStateDownloadCompleted) {
        troubleWatched_ = false;
        return;
    }
    if (!troubleWatched_) {
        troubleWatched_ = true;
        troubleStart_ = nowMs;
    }
    if (nowMs - troubleStart_ >= timings_.serverTroubleGraceMs)
        out.statusText = text;
}

// A link or junction the core refuses inside the install folder stays until
// the player removes it: told at once, naming it, in whatever phase.
void DownloadProgress::TellRefusedLink(const CoreStatus& status, TickOutcome& out)
{
    if (status.errorKind != kErrorOpenFile || status.errorCode != kCodeLinkRefused)
        return;
    std::string text(std::strlen(kTextLinkRefused) + status.errorFile.size() + 1, '\0');
    int n = std::snprintf(&text[0], text.size(), kTextLinkRefused, status.errorFile.c_str());
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    out.statusText = text;
    out.infoText.clear();
}

void DownloadProgress::TickDownloading(const CoreStatus& status, uint32_t nowMs, TickOutcome& out)
{
    downloadSamples_.Add(status.downloadBandWidth);
    uploadSamples_.Add(status.uploadBandWidth);
    avgDownload_ = downloadSamples_.Mean();
    avgUpload_ = uploadSamples_.Mean();

    out.statusText = RemainingTimeText(avgDownload_, status.incompleteByte);
    out.infoText = SizeAndSpeedText(status.totalByte, status.percentage, avgDownload_);
    out.percentShown = true;
    out.percent = status.percentage;

    // A tick count of 0 marks "not watching"; a real 0 is taken as 1.
    const uint32_t now = nowMs != 0 ? nowMs : 1;
    if (status.percentage != lastSeenPercent_) {
        lastSeenPercent_ = status.percentage;
        stallStart_ = 0;
        endStallStart_ = 0;
    } else if (stallStart_ == 0) {
        stallStart_ = now;
    } else if (now - stallStart_ >= timings_.stallMs) {
        Reconnecting(out);
        if (httpThreads_ >= 2)
            httpThreads_ /= 2;
        out.action = ProgressAction::kRestartAfterStall;
        out.restartThreads = httpThreads_;
    }
    if (status.percentage > 99 && status.percentage == lastSeenPercent_) {
        if (endStallStart_ == 0) {
            endStallStart_ = now;
        } else if (now - endStallStart_ >= timings_.endStallMs && out.action == ProgressAction::kNone) {
            Reconnecting(out);
            out.action = ProgressAction::kRestartNearEnd;
            out.restartThreads = kInitialHttpThreads;
        }
    }

    if (status.errorKind == kErrorDiskFull) {
        out.showDiskFullNotice = !diskFullShown_;
        diskFullShown_ = true;
        out.statusText = kTextDiskFull;
        out.infoText.clear();
    } else {
        diskFullShown_ = false;
    }
}

void DownloadProgress::TickOtherPhase(const CoreStatus& status, TickOutcome& out)
{
    const char* text = StatusTextForState(status.p2pState);
    out.statusText = text ? text : "";
    out.infoText.clear();
    switch (status.p2pState) {
    case kStateDownloadCompleted:
        out.statusText = kTextDownloadDone;
        out.percentShown = true;
        out.percent = 100;
        if (!status.fileName.empty())
            out.action = ProgressAction::kCompleted;
        break;
    case kStateAllFileCheckMd5:
        out.percentShown = true;
        out.percent = status.verifyPercentage * 100;
        break;
    case kStateCreateFile:
        if (status.errorKind == kErrorWriteFile)
            out.statusText = kTextCreateFileError;
        break;
    case kStateQuit:
        ClearAverages();
        out.action = ProgressAction::kRestartAfterQuit;
        out.restartThreads = kInitialHttpThreads;
        break;
    default:
        break;
    }
}

} // namespace zdl
