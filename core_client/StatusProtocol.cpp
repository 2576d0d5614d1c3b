#include "core_client/StatusProtocol.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace zdl {

static bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The blanks the run-time's number readers skip.
static bool IsSpace(char c)
{
    return IsBlank(c) || c == '\v' || c == '\f';
}

static bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

void TrimBlanks(std::string& s)
{
    size_t end = s.size();
    while (end > 0 && IsBlank(s[end - 1]))
        --end;
    size_t begin = 0;
    while (begin < end && IsBlank(s[begin]))
        ++begin;
    s = s.substr(begin, end - begin);
}

bool SplitKeyValue(const std::string& s, std::string& key, std::string& value)
{
    size_t eq = s.find('=');
    if (eq == std::string::npos)
        return false;
    key = s.substr(0, eq);
    value = s.substr(eq + 1);
    TrimBlanks(key);
    TrimBlanks(value);
    return true;
}

bool ParseStatusLine(const std::string& line, StatusValues& values)
{
    size_t open = line.find('[');
    size_t close = line.find(']');
    if (open == std::string::npos || close == std::string::npos)
        return false;
    std::string rest = line.substr(close + 1);
    TrimBlanks(rest);
    std::string key, value;
    if (!SplitKeyValue(rest, key, value))
        return false;
    values[key] = value;
    return true;
}

// Skips leading blanks and an optional sign; returns the index of the first
// digit (or of what stands there instead).
static size_t SkipSpaceAndSign(const std::string& text, bool* negative)
{
    size_t i = 0;
    while (i < text.size() && IsSpace(text[i]))
        ++i;
    *negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        *negative = text[i] == '-';
        ++i;
    }
    return i;
}

bool ParseInt32Prefix(const std::string& text, int32_t* out)
{
    bool negative;
    size_t i = SkipSpaceAndSign(text, &negative);
    if (i >= text.size() || !IsDigit(text[i]))
        return false;
    // Out of range saturates, as the run-time's reader does.
    const int64_t limit
        = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min()) : std::numeric_limits<int32_t>::max();
    int64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit)
            value = limit;
    }
    *out = static_cast<int32_t>(negative ? -value : value);
    return true;
}

bool ParseUInt64Prefix(const std::string& text, uint64_t* out)
{
    bool negative;
    size_t i = SkipSpaceAndSign(text, &negative);
    // A byte count is never negative; a "-" means no usable number.
    if (negative || i >= text.size() || !IsDigit(text[i]))
        return false;
    const uint64_t max = std::numeric_limits<uint64_t>::max();
    uint64_t value = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i) {
        unsigned digit = static_cast<unsigned>(text[i] - '0');
        value = value > (max - digit) / 10 ? max : value * 10 + digit;
    }
    *out = value;
    return true;
}

bool ParseFloatPrefix(const std::string& text, float* out)
{
    bool negative;
    size_t start = SkipSpaceAndSign(text, &negative);
    size_t i = start;
    size_t digits = 0;
    while (i < text.size() && IsDigit(text[i])) {
        ++i;
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && IsDigit(text[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    // An exponent counts only when digits follow it.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-'))
            ++j;
        if (j < text.size() && IsDigit(text[j])) {
            while (j < text.size() && IsDigit(text[j]))
                ++j;
            i = j;
        }
    }
    // from_chars reads the decimal point whatever the process locale is.
    double value = 0;
    std::from_chars_result r = std::from_chars(text.data() + start, text.data() + i, value);
    if (r.ec != std::errc() || !std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        return false;
    *out = static_cast<float>(negative ? -value : value);
    return true;
}

static void ReadInt32(const StatusValues& values, const char* key, int32_t* field)
{
    auto it = values.find(key);
    if (it != values.end())
        ParseInt32Prefix(it->second, field);
}

static void ReadUInt64(const StatusValues& values, const char* key, uint64_t* field)
{
    auto it = values.find(key);
    if (it != values.end())
        ParseUInt64Prefix(it->second, field);
}

static void ReadFloat(const StatusValues& values, const char* key, float* field)
{
    auto it = values.find(key);
    if (it != values.end())
        ParseFloatPrefix(it->second, field);
}

void ExtractStatus(
    const StatusValues& values, CoreStatus& status, bool& awaitingFileName, const FreeSpaceQuery& freeSpace)
{
    ReadInt32(values, kKeyP2PState, &status.p2pState);
    ReadFloat(values, kKeyDownloadBandWidth, &status.downloadBandWidth);
    ReadFloat(values, kKeyUploadBandWidth, &status.uploadBandWidth);
    ReadFloat(values, kKeyVerifyPercentage, &status.verifyPercentage);
    ReadFloat(values, kKeyPercentage, &status.percentage);
    ReadFloat(values, kKeyPercentageDownloaded, &status.percentageDownloaded);
    ReadUInt64(values, kKeyTotalByte, &status.totalByte);
    ReadUInt64(values, kKeyIncompleteByte, &status.incompleteByte);

    auto it = values.find(kKeyFileName);
    if (it != values.end() && it->second != kNoFileName) {
        status.fileName = it->second;
        awaitingFileName = false;
    }

    it = values.find(kKeyError);
    if (it != values.end()) {
        const std::string& e = it->second;
        if (e == "WriteFile") {
            uint64_t freeBytes = 0;
            bool known = freeSpace && freeSpace(&freeBytes);
            uint64_t reserved = 0;
            ReadUInt64(values, kKeyReservedByte, &reserved);
            uint64_t needed = status.incompleteByte > reserved ? status.incompleteByte - reserved : 0;
            status.errorKind = known && freeBytes < needed ? kErrorDiskFull : kErrorWriteFile;
        } else if (e == kErrorWordNone) {
            status.errorKind = kErrorNone;
        } else if (e == "OpenFile") {
            status.errorKind = kErrorOpenFile;
        } else if (e == "SetFileSize") {
            status.errorKind = kErrorSetFileSize;
        } else if (e == "ReadSeed") {
            status.errorKind = kErrorReadSeed;
        } else if (e == "DownloadTorrent") {
            status.errorKind = kErrorDownloadTorrent;
        } else if (e == "DownloadSeed") {
            status.errorKind = kErrorDownloadSeed;
        }
    }

    ReadInt32(values, kKeyErrorCode, &status.errorCode);
    it = values.find(kKeyServerBusy);
    if (it != values.end() && (it->second == "1" || it->second == "0"))
        status.serverBusy = it->second == "1";
    it = values.find(kKeyErrorFile);
    if (it != values.end())
        status.errorFile = it->second;
}

void ResetStatus(CoreStatus& status)
{
    status.downloadBandWidth = 0;
    status.uploadBandWidth = 0;
    status.incompleteByte = 0;
    status.totalByte = 0;
    status.percentageDownloaded = 0;
    status.percentage = 0;
    status.verifyPercentage = 0;
    status.p2pState = 0;
    status.errorKind = kErrorNone;
    status.serverBusy = false;
    status.fileName.clear();
}

} // namespace zdl
