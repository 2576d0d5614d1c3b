#include "core_client/CoreLaunch.h"

#include "core_client/CoreClientTexts.h"

#include "platform/Process.h"
#include "platform/SystemInfo.h"

namespace zdl {

int32_t CoreSpeedLimit(float pageLimit)
{
    if (!(pageLimit > 0))
        return kDefaultSpeedLimit;
    if (pageLimit >= 2147483647.0f)
        return 2147483647;
    return static_cast<int32_t>(pageLimit); // toward zero
}

namespace {

    // True when |dir| ends with a backslash that is a character of its own:
    // in the GBK code page a lead byte (0x81-0xFE) takes the next byte with
    // it, and that second byte may be 0x5C ("\x81\x5C" is one character).
    bool EndsWithBackslashCharacter(const std::string& dir)
    {
        bool backslash = false;
        for (size_t i = 0; i < dir.size();) {
            const unsigned char c = static_cast<unsigned char>(dir[i]);
            const bool lead = c >= 0x81 && c <= 0xFE && i + 1 < dir.size();
            backslash = !lead && c == '\\';
            i += lead ? 2 : 1;
        }
        return backslash;
    }

} // namespace

std::string TrimInstallDir(const std::string& installDir)
{
    std::string dir = installDir;
    for (bool trimmed = true; trimmed;) {
        trimmed = false;
        // A slash is never the second byte of a GBK character.
        while (kPathSeparator != '\\' && dir.size() > 1 && dir.back() == kPathSeparator) {
            dir.pop_back();
            trimmed = true;
        }
        if (EndsWithBackslashCharacter(dir)) {
            dir.pop_back();
            trimmed = true;
        }
    }
    return dir;
}

std::string CoreProgramFileName(const std::string& namePart)
{
    return kCoreProgramNamePrefix + namePart + ".exe";
}

bool ExtractCoreProgram(
    const std::string& namePart, const ResourceBlob& resource, const std::string& tempFolder, std::string& path)
{
    if (!resource.data)
        return false;
    if (tempFolder.empty() || tempFolder.size() >= kMaxTempFolderChars)
        return false;
    // The system's folder already ends with a separator, so the path holds
    // two in a row; the system accepts that.
    path = tempFolder + kPathSeparator + CoreProgramFileName(namePart);
    ProgramFileResult r = WriteProgramFile(path, resource.data, resource.size);
    return r != ProgramFileResult::Failed;
}

bool SplitSourceUrl(const std::string& source, std::string& bases, std::string& name)
{
    bases.clear();
    name.clear();
    size_t start = 0;
    while (start <= source.size()) {
        size_t end = source.find(';', start);
        if (end == std::string::npos)
            end = source.size();
        const std::string address = source.substr(start, end - start);
        start = end + 1;
        if (address.empty())
            continue;
        const size_t slash = address.rfind('/');
        if (slash == std::string::npos || slash == 0 || slash + 1 == address.size())
            return false;
        const std::string file = address.substr(slash + 1);
        if (!name.empty() && file != name)
            return false; // every mirror names the description alike
        name = file;
        bases += (bases.empty() ? "" : ";") + address.substr(0, slash);
    }
    if (name.empty()) {
        bases.clear();
        return false;
    }
    return true;
}

bool BuildCoreArguments(CoreLaunchSettings& settings, std::string& options)
{
    std::string httpBase, torrent;
    if (!SplitSourceUrl(settings.sourceUrl, httpBase, torrent))
        return false;
    settings.installDir = TrimInstallDir(settings.installDir);

    options = "-Dir \"" + settings.installDir + "\"";
    options += " -HttpUrl " + httpBase;
    options += " -Torrent " + torrent;
    options += " -Mode " + settings.mode;
    options += " -HttpThread " + std::to_string(settings.httpThreads);
    options += " -P2PUploadThread " + std::to_string(settings.p2pUploadThreads);
    options += " -P2PUploadListSize " + std::to_string(settings.p2pUploadListSize);
    options += " -DownloadLimit " + std::to_string(settings.downloadLimit);
    options += " -UploadLimit " + std::to_string(settings.uploadLimit);
    if (settings.deleteDownloadInfo)
        options += " -DeleteDownloadInfo";
    if (!settings.share)
        options += " -P2PShare 0";
    return true;
}

std::string QuoteProgramPath(const std::string& path)
{
    return "\"" + path + "\"";
}

} // namespace zdl
