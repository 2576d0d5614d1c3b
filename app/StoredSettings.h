// The downloader's remembered settings, "zphdownloader.ini" in the current
// folder: a download and an upload speed limit, whether each is in force,
// whether pieces are shared with other players' downloaders on the local
// network ("P2PShare=0" turns it off; on when absent), and the default
// install folder. One "Key=value" line per setting, GBK.
//
// Reading: lines of up to 999 bytes (a longer line reads as several), trailing
// blanks, tabs and line ends removed, keys matched as a prefix at the start
// of a line, a later line winning. Writing: the lines in a fixed order, each
// ended by CR LF, written to a temporary file that then replaces the old
// one, so a failed save never loses the settings already stored.
//
// Plain functions on values; any thread.
#pragma once

#include "platform/SystemInfo.h"

#include <cstddef>
#include <functional>
#include <string>

namespace zdl {

extern const char kSettingsFileName[]; // "zphdownloader.ini"
extern const char kDefaultInstallDir[]; // "D:\Program Files\Orvane\Zephyra\"
constexpr size_t kMaxSettingsLineBytes = 999;
constexpr size_t kMaxSettingsFileBytes = 1 << 20; // a larger file is not read
// The longest install folder the page's folder box holds.
constexpr size_t kMaxInstallDirBytes = 126;

// What a reader takes from the file.
struct StoredSettings {
    int maxDownloadSpeed = -1; // KB/s; -1 when absent
    int maxUploadSpeed = -1;
    bool limitDownload = false;
    bool limitUpload = false;
    bool share = true; // "P2PShare=": off only for 0
    bool hasDefaultDir = false;
    std::string defaultDir; // as written, line end removed
};

StoredSettings ParseSettings(const std::string& text);
// False (and |out| left as given) when the file cannot be read.
bool ReadSettingsFile(const std::string& path, StoredSettings* out);

// What the settings dialog saves: the check boxes, the typed limits (already
// read as numbers, see ParseTypedLimit) and the folder text.
struct SettingsToWrite {
    bool limitDownload = false;
    bool limitUpload = false;
    double maxDownload = 0;
    double maxUpload = 0;
    bool share = true; // written only when off
    std::string folder;
};
// The file's text. A folder whose "DefaultDir=" line the reader could not
// take whole (longer than kMaxSettingsLineBytes with its line end, or with a
// line end of its own) is left out: read back, it would be cut short and its
// tail read as a line of its own; the page then starts from the default.
std::string FormatSettings(const SettingsToWrite& settings);
bool WriteSettingsFile(const std::string& path, const SettingsToWrite& settings);

// A typed limit as a decimal number with fraction: text that is no number
// (such as "无限制") and NaN read as 0; the value is clamped to 0..INT_MAX so
// "1e30", "inf" or a long digit string never overflow a conversion.
double ParseTypedLimit(const std::string& text);
// The limit a page applies: -1 when the box is off or the value is below
// 0.00001, else the value truncated toward zero.
int EffectiveLimit(bool limitOn, double typed);

// What the settings dialog hands back to the page: whether OK saved the
// settings, and the limits then in force (EffectiveLimit's values).
struct SettingsChoice {
    bool saved = false;
    int downloadLimit = -1;
    int uploadLimit = -1;
    bool share = true;
};

// Whether the GBK path |path| ends with a backslash character (the second
// byte of a double-byte character may be 0x5C and is not one), and |path|
// with one appended when it does not.
bool EndsWithBackslash(const std::string& path);
std::string WithTrailingBackslash(const std::string& path);

// The install folder to start with when no setting gives one: the built-in
// default where drive D: can hold an install, else the same path on the
// system drive. |driveDExists| is DriveExists('D') (platform/SystemInfo.h):
// false for a missing D: and for an optical or removable one.
std::string DefaultInstallDir(bool driveDExists, char systemDrive);
// The same with the drive type asked of |driveType|.
std::string DefaultInstallDir(const std::function<DriveType(char letter)>& driveType, char systemDrive);

// The page's start values from a file's settings.
struct PageStartSettings {
    std::string installDir; // ends with a backslash
    float maxDownloadSpeed = -1;
    float maxUploadSpeed = -1;
    bool share = true;
};
// A "DefaultDir=" value gets a trailing backslash when it has none; an empty
// value, or one the folder box could not hold, keeps |defaultDir|. A limit
// whose "Limit" line is not 1 is -1.
PageStartSettings PageSettingsFrom(const StoredSettings& stored, const std::string& defaultDir);

} // namespace zdl
