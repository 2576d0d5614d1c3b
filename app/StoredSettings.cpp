#include "app/StoredSettings.h"

#include "platform/FileSystem.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace zdl {

const char kSettingsFileName[] = "zphdownloader.ini";
const char kDefaultInstallDir[] = "D:\\Program Files\\Orvane\\Zephyra\\";

namespace {

    const char kMaxDownloadKey[] = "MaxDownloadSpd=";
    const char kMaxUploadKey[] = "MaxUploadSpd=";
    const char kLimitDownloadKey[] = "LimitDownloadSpd=";
    const char kLimitUploadKey[] = "LimitUploadSpd=";
    const char kDefaultDirKey[] = "DefaultDir=";
    const char kShareKey[] = "P2PShare=";

    bool StartsWith(const std::string& line, const char* key, std::string* rest)
    {
        size_t n = std::strlen(key);
        if (line.compare(0, n, key) != 0)
            return false;
        *rest = line.substr(n);
        return true;
    }

    // Decimal-integer conversion as atoi reads it (blanks, a sign, leading
    // digits; none gives 0), clamped to int instead of overflowing.
    int LeadingInt(const std::string& text)
    {
        size_t i = 0;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            negative = text[i++] == '-';
        long long value = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            value = value * 10 + (text[i] - '0');
            if (value > static_cast<long long>(INT_MAX) + 1)
                value = static_cast<long long>(INT_MAX) + 1;
        }
        if (negative)
            value = -value;
        if (value > INT_MAX)
            value = INT_MAX;
        return static_cast<int>(value);
    }

    void ApplyLine(const std::string& line, StoredSettings* out)
    {
        std::string rest;
        if (StartsWith(line, kMaxDownloadKey, &rest))
            out->maxDownloadSpeed = LeadingInt(rest);
        else if (StartsWith(line, kMaxUploadKey, &rest))
            out->maxUploadSpeed = LeadingInt(rest);
        else if (StartsWith(line, kLimitDownloadKey, &rest))
            out->limitDownload = LeadingInt(rest) == 1;
        else if (StartsWith(line, kLimitUploadKey, &rest))
            out->limitUpload = LeadingInt(rest) == 1;
        else if (StartsWith(line, kShareKey, &rest))
            out->share = LeadingInt(rest) != 0;
        else if (StartsWith(line, kDefaultDirKey, &rest)) {
            out->hasDefaultDir = true;
            out->defaultDir = rest;
        }
    }

} // namespace

StoredSettings ParseSettings(const std::string& text)
{
    StoredSettings out;
    size_t pos = 0;
    while (pos < text.size()) {
        // A line as a 1000-byte line buffer reads it: up to and including its
        // line feed, at most 999 bytes.
        size_t end = text.find('\n', pos);
        size_t stop = end == std::string::npos ? text.size() : end + 1;
        if (stop - pos > kMaxSettingsLineBytes)
            stop = pos + kMaxSettingsLineBytes;
        std::string line = text.substr(pos, stop - pos);
        pos = stop;
        size_t keep = line.find_last_not_of(" \t\r\n");
        line.resize(keep == std::string::npos ? 0 : keep + 1);
        ApplyLine(line, &out);
    }
    return out;
}

bool ReadSettingsFile(const std::string& path, StoredSettings* out)
{
    std::string text;
    FsStatus status;
    if (!ReadWholeFile(path, kMaxSettingsFileBytes, &text, &status))
        return false;
    *out = ParseSettings(text);
    return true;
}

std::string FormatSettings(const SettingsToWrite& settings)
{
    std::string text;
    char line[64];
    if (settings.limitDownload)
        text += "LimitDownloadSpd=1\r\n";
    if (settings.limitUpload)
        text += "LimitUploadSpd=1\r\n";
    if (settings.maxDownload > 0.00001) {
        std::snprintf(line, sizeof line, "MaxDownloadSpd=%.0f\r\n", settings.maxDownload);
        text += line;
    }
    if (settings.maxUpload > 0.00001) {
        std::snprintf(line, sizeof line, "MaxUploadSpd=%.0f\r\n", settings.maxUpload);
        text += line;
    }
    if (!settings.share)
        text += std::string(kShareKey) + "0\r\n";
    const std::string folderLine = std::string(kDefaultDirKey) + settings.folder + "\r\n";
    if (!settings.folder.empty() && folderLine.size() <= kMaxSettingsLineBytes
        && settings.folder.find_first_of("\r\n") == std::string::npos)
        text += folderLine;
    return text;
}

bool WriteSettingsFile(const std::string& path, const SettingsToWrite& settings)
{
    // Its folder is followed; a link in the file's place (or its temporary
    // file's) is left alone rather than written through.
    size_t slash = path.find_last_of("/\\");
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    FsStatus status;
    return WriteFileAtomicallyBelow(folder, name, FormatSettings(settings), &status, Durability::Fast);
}

double ParseTypedLimit(const std::string& text)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    double value = std::strtod(begin, &end);
    if (end == begin || std::isnan(value) || value < 0)
        return 0;
    if (value > static_cast<double>(INT_MAX))
        return static_cast<double>(INT_MAX);
    return value;
}

int EffectiveLimit(bool limitOn, double typed)
{
    if (!limitOn || !(typed >= 0.00001))
        return -1;
    if (typed >= static_cast<double>(INT_MAX))
        return INT_MAX;
    return static_cast<int>(typed);
}

bool EndsWithBackslash(const std::string& path)
{
    bool last = false;
    for (size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < path.size()) {
            ++i;
            last = false;
        } else {
            last = c == '\\';
        }
    }
    return last;
}

std::string WithTrailingBackslash(const std::string& path)
{
    return EndsWithBackslash(path) ? path : path + '\\';
}

std::string DefaultInstallDir(bool driveDExists, char systemDrive)
{
    std::string dir = kDefaultInstallDir;
    if (!driveDExists)
        dir[0] = systemDrive;
    return dir;
}

std::string DefaultInstallDir(const std::function<DriveType(char letter)>& driveType, char systemDrive)
{
    return DefaultInstallDir(IsInstallDriveType(driveType('D')), systemDrive);
}

PageStartSettings PageSettingsFrom(const StoredSettings& stored, const std::string& defaultDir)
{
    PageStartSettings out;
    out.installDir = defaultDir;
    if (stored.hasDefaultDir && !stored.defaultDir.empty()) {
        std::string dir = WithTrailingBackslash(stored.defaultDir);
        if (dir.size() <= kMaxInstallDirBytes)
            out.installDir = dir;
    }
    out.maxDownloadSpeed = stored.limitDownload ? static_cast<float>(stored.maxDownloadSpeed) : -1.0f;
    out.maxUploadSpeed = stored.limitUpload ? static_cast<float>(stored.maxUploadSpeed) : -1.0f;
    out.share = stored.share;
    return out;
}

} // namespace zdl
