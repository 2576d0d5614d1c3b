// Writing the download core out of the executable and composing its command
// line. Pure functions over their arguments; the process-wide launch state
// lives in CoreSession.
#pragma once

#include "platform/Resources.h"

#include <cstdint>
#include <string>

namespace zdl {

// What a start hands to LaunchCore.
struct CoreLaunchSettings {
    // Address of the download description file, or several (mirrors)
    // separated by ";", all ending in the same file name.
    std::string sourceUrl;
    std::string installDir; // install folder; trailing backslashes allowed
    std::string mode; // core working mode, "download"
    int32_t downloadLimit = 0; // KB/s
    int32_t uploadLimit = 0; // KB/s
    int32_t httpThreads = 0;
    int32_t p2pUploadThreads = 6;
    int32_t p2pUploadListSize = 12;
    bool deleteDownloadInfo = true;
    bool share = true; // off: "-P2PShare 0" (the core shares by default)
};

// How the installer talks to a started core.
enum class ChannelKind { kConsole = 0, kNetwork = 1 };

// The limit given to the core when the page sets none (a value <= 0).
constexpr int32_t kDefaultSpeedLimit = 10000;
// The classic path buffer: a temporary folder must fit with its final zero.
constexpr size_t kMaxTempFolderChars = 260;

// The page's limit (KB/s, -1 when unlimited) as the core's option value.
int32_t CoreSpeedLimit(float pageLimit);

// The install folder as the core receives it: every trailing backslash
// removed (D:\ becomes D:), but not a 0x5C byte that is the second half of
// a GBK character. Natively trailing slashes go too, except that the root
// "/" stays.
std::string TrimInstallDir(const std::string& installDir);

// The core's file name for a name part such as "Zephyra免费版_r" (GBK):
// "Orvane下载器-" + namePart + ".exe".
std::string CoreProgramFileName(const std::string& namePart);

// Writes |resource| as |tempFolder| + separator + CoreProgramFileName into
// |path|. A file held by a running core is used as it is. False when the
// folder is empty or too long for the path buffer, or the file cannot be
// written whole.
bool ExtractCoreProgram(
    const std::string& namePart, const ResourceBlob& resource, const std::string& tempFolder, std::string& path);

// Splits the description address(es) at the last "/" of each: |bases| gets
// the bases joined by ";" ("-HttpUrl"), |name| the file name ("-Torrent").
// False when an address has no "/" with text on both sides, or the
// addresses of a list end in different names.
bool SplitSourceUrl(const std::string& source, std::string& bases, std::string& name);

// The core's options for |settings|, in the order the core expects, with
// |settings.installDir| trimmed in place. False (options left empty) when
// SplitSourceUrl refuses the source address.
bool BuildCoreArguments(CoreLaunchSettings& settings, std::string& options);

// The program path as the first token of a command line: in quotation marks,
// so a folder with a blank in it still names the right program.
std::string QuoteProgramPath(const std::string& path);

} // namespace zdl
