#include "core/StatusBoard.h"

#include <cstdio>

namespace zdl::core {

const char* CoreErrorWord(CoreError e)
{
    switch (e) {
    case CoreError::WriteFile:
        return "WriteFile";
    case CoreError::OpenFile:
        return "OpenFile";
    case CoreError::SetFileSize:
        return "SetFileSize";
    case CoreError::ReadSeed:
        return "ReadSeed";
    case CoreError::DownloadTorrent:
        return "DownloadTorrent";
    case CoreError::DownloadSeed:
        return "DownloadSeed";
    }
    return "";
}

static std::string Fixed(double v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}

std::string StatusBoard::Line(const std::string& key, const std::string& value)
{
    return "[zdl] " + key + "=" + value + "\n";
}

void StatusBoard::SetPhase(Phase p)
{
    std::lock_guard<std::mutex> lock(mutex_);
    phase_ = p;
}

Phase StatusBoard::GetPhase() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return phase_;
}

void StatusBoard::SetVerifyProgress(double f)
{
    std::lock_guard<std::mutex> lock(mutex_);
    verify_ = f < 0 ? 0 : (f > 1 ? 1 : f);
}

void StatusBoard::SetBytes(uint64_t total, uint64_t done)
{
    std::lock_guard<std::mutex> lock(mutex_);
    total_ = total;
    done_ = done > total ? total : done;
}

void StatusBoard::SetReservedBytes(uint64_t bytes, uint64_t ownNeed)
{
    std::lock_guard<std::mutex> lock(mutex_);
    reserved_ = bytes;
    ownNeed_ = ownNeed;
}

void StatusBoard::SetDownloadRate(double bps)
{
    std::lock_guard<std::mutex> lock(mutex_);
    rate_ = bps;
}

void StatusBoard::SetUploadRate(double bps)
{
    std::lock_guard<std::mutex> lock(mutex_);
    uploadRate_ = bps;
}

void StatusBoard::SetError(CoreError e, int code, const std::string& file)
{
    std::lock_guard<std::mutex> lock(mutex_);
    hasError_ = true;
    errorActive_ = true;
    error_ = e;
    errorCode_ = code;
    // A value must stay on one line.
    errorFile_.clear();
    for (char c : file)
        errorFile_ += (c == '\n' || c == '\r') ? ' ' : c;
}

void StatusBoard::ClearError(CoreError e)
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (errorActive_ && error_ == e)
        errorActive_ = false;
}

void StatusBoard::ClearAllErrors()
{
    std::lock_guard<std::mutex> lock(mutex_);
    errorActive_ = false;
}

void StatusBoard::SetServerBusy(bool busy)
{
    std::lock_guard<std::mutex> lock(mutex_);
    serverBusy_ = busy;
    serverBusyEver_ = serverBusyEver_ || busy;
}

void StatusBoard::CountHashFailure()
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++hashFailures_;
}

void StatusBoard::CountRetry()
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++retries_;
}

void StatusBoard::SetFileNames(std::vector<std::string> names)
{
    std::lock_guard<std::mutex> lock(mutex_);
    fileNames_ = std::move(names);
}

std::string StatusBoard::StatLines() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    double percent = total_ ? 100.0 * static_cast<double>(done_) / static_cast<double>(total_) : 0;
    if (phase_ == Phase::DownloadCompleted)
        percent = 100;
    std::string s;
    s += Line("P2PState", std::to_string(static_cast<int>(phase_)));
    s += Line("Percentage", Fixed(percent));
    s += Line("PercentageDownloaded", Fixed(percent));
    s += Line("VerifyPercentage", Fixed(verify_));
    s += Line("DownloadBandWidth", Fixed(rate_ / 1024));
    s += Line("UploadBandWidth", Fixed(uploadRate_ / 1024));
    s += Line("TotalByte", std::to_string(total_));
    s += Line("IncompleteByte", std::to_string(total_ - done_));
    uint64_t reserved = reserved_ < total_ - done_ ? reserved_ : total_ - done_;
    s += Line("ReservedByte", std::to_string(reserved > ownNeed_ ? reserved - ownNeed_ : 0));
    s += Line("HashFailures", std::to_string(hashFailures_));
    s += Line("Retries", std::to_string(retries_));
    if (hasError_) {
        s += Line("Error", errorActive_ ? CoreErrorWord(error_) : kNoErrorWord);
        s += Line("ErrorCode", std::to_string(errorActive_ ? errorCode_ : 0));
        s += Line("ErrorFile", errorActive_ ? errorFile_ : std::string());
    }
    if (serverBusyEver_)
        s += Line("ServerBusy", serverBusy_ ? "1" : "0");
    return s;
}

std::string StatusBoard::TotalLines() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return Line("TotalByte", std::to_string(total_)) + Line("IncompleteByte", std::to_string(total_ - done_));
}

std::string StatusBoard::FileNameLine(long index) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (index < 0 || static_cast<size_t>(index) >= fileNames_.size())
        return Line("FileName", ":");
    return Line("FileName", fileNames_[static_cast<size_t>(index)]);
}

} // namespace zdl::core
