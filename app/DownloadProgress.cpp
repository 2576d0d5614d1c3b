#include "app/DownloadProgress.h"

#include <cstdio>

namespace zdl {

const char kStatusLinePrefix[] = "#cC4B78B#h12";
const char kInfoLinePrefix[] = "#c7D7D7D#h12";
const char kTextReconnecting[]
    = "\xcf\xc2\xd4\xd8\xca\xa7\xb0\xdc\xa3\xac\xb3\xa2\xca\xd4\xd6\xd8\xd0\xc2\xc1\xac\xbd\xd3";
const char kTextDownloadDone[] = "\xcf\xc2\xd4\xd8\xcd\xea\xb3\xc9";
const char kTextDiskFull[]
    = "\xb4\xc5\xc5\xcc\xbf\xd5\xbc\xe4\xb2\xbb\xd7\xe3\xa3\xac\xc7\xeb\xc7\xe5\xc0\xed\xb4\xc5\xc5\xcc";
const char kTitleWarning[] = "\xbe\xaf\xb8\xe6";
const char kTextCreateFileError[]
    = "\xb4\xb4\xbd\xa8\xce\xc4\xbc\xfe\xb4\xed\xce\xf3\xa3\xac\xc7\xeb\xb9\xd8\xb1\xd5\xcf\xe0\xb9\xd8\xce\xc4\xbc\xfe"
      "\xbb\xf2\xd5\xdf\xc8\xb7\xc8\xcf\xb4\xc5\xc5\xcc\xbf\xd5\xbc\xe4\xca\xc7\xb7\xf1\xd7\xe3\xb9\xbb";
const char kTextInstallFailed[] = "\xb0\xb2\xd7\xb0\xca\xa7\xb0\xdc\xa3\xac\xc7\xeb\xc9\xd4\xba\xf3\xd6\xd8\xca\xd4";

// "预计还需时间不确定", "预计还需 %d小时%d分", "预计还需 %d分".
static const char kTimeUnknown[] = "\xd4\xa4\xbc\xc6\xbb\xb9\xd0\xe8\xca\xb1\xbc\xe4\xb2\xbb\xc8\xb7\xb6\xa8";
static const char kTimeHoursMinutes[] = "\xd4\xa4\xbc\xc6\xbb\xb9\xd0\xe8\x20\x25\x64\xd0\xa1\xca\xb1\x25\x64\xb7\xd6";
static const char kTimeMinutes[] = "\xd4\xa4\xbc\xc6\xbb\xb9\xd0\xe8\x20\x25\x64\xb7\xd6";
// "文件大小：%.1fG/%.1fG  下载速度：%.1f%cB/s".
static const char kSizeSpeedFormat[]
    = "\xce\xc4\xbc\xfe\xb4\xf3\xd0\xa1\xa3\xba\x25\x2e\x31\x66\x47\x2f\x25\x2e\x31\x66\x47\x20\x20"
      "\xcf\xc2\xd4\xd8\xcb\xd9\xb6\xc8\xa3\xba\x25\x2e\x31\x66\x25\x63\x42\x2f\x73";

static const char* const kStatusTexts[kStateCount] = {
    "\xb3\xcc\xd0\xf2\xb3\xf5\xca\xbc\xbb\xaf", // 0 程序初始化
    nullptr, // 1
    nullptr, // 2
    "\xb3\xf5\xca\xbc\xbb\xaf\x50\x32\x50\xcd\xf8\xc2\xe7", // 3 初始化P2P网络
    "\x50\x32\x50\xcd\xf8\xc2\xe7\xb3\xf5\xca\xbc\xbb\xaf\xb4\xed\xce\xf3", // 4 P2P网络初始化错误
    "\xbb\xf1\xc8\xa1\xcf\xc2\xd4\xd8\xd0\xc5\xcf\xa2", // 5 获取下载信息
    "\xcf\xc2\xd4\xd8\xd0\xc5\xcf\xa2\xbb\xf1\xc8\xa1\xca\xa7\xb0\xdc", // 6 下载信息获取失败
    "\xbc\xec\xb2\xe9\xb0\xe6\xb1\xbe\xd0\xc5\xcf\xa2", // 7 检查版本信息
    "\xcf\xc2\xd4\xd8\xce\xc4\xbc\xfe\xc1\xd0\xb1\xed", // 8 下载文件列表
    nullptr, // 9
    "\xb7\xd6\xce\xf6\xce\xc4\xbc\xfe\xc1\xd0\xb1\xed", // 10 分析文件列表
    "\xd5\xfd\xd4\xda\xb4\xb4\xbd\xa8\xce\xc4\xbc\xfe", // 11 正在创建文件
    "\xd5\xfd\xd4\xda\xd0\xa3\xd1\xe9\xb1\xbe\xb5\xd8\xce\xc4\xbc\xfe", // 12 正在校验本地文件
    "\xc7\xeb\xcf\xc8\xb9\xd8\xb1\xd5\xd0\xde\xb8\xb4\xc4\xbf\xc2\xbc\xd3\xce\xcf\xb7\xb3\xcc\xd0\xf2", // 13
                                                                                                        // 请先关闭修复目录游戏程序
    "\xd5\xfd\xd4\xda\xcf\xc2\xd4\xd8", // 14 正在下载
    "\xcf\xc2\xd4\xd8\xcd\xea\xb3\xc9", // 15 下载完成
    "\xcd\xcb\xb3\xf6\xb3\xcc\xd0\xf2", // 16 退出程序
    "\xcf\xc2\xd4\xd8\xca\xa7\xb0\xdc\xa3\xac\xb3\xa2\xca\xd4\xd6\xd8\xd0\xc2\xc1\xac\xbd\xd3", // 17
                                                                                                // 下载失败，尝试重新连接
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
    return out;
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
