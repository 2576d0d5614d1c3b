#include "app/InstallCompletion.h"

#include <cstdio>

namespace zdl {

const char kVersionRecordName[] = "version.bin";
const char kVersionRecord[] = "special_instal_20190627:23\r\n";
static_assert(sizeof kVersionRecord - 1 == kVersionRecordSize, "the version record is 28 bytes");
const char kGameExecutableName[] = "zpc.exe";
const char kQuickLaunchSubfolder[] = "\\Microsoft\\Internet Explorer\\Quick Launch";

std::string VersionRecordPath(const std::string& installDir)
{
    return installDir + kVersionRecordName;
}

std::string GameExecutablePath(const std::string& installDir)
{
    return installDir + kGameExecutableName;
}

bool WriteVersionRecord(const std::string& installDir)
{
    // Binary mode: the line end is written as CR LF by hand, so every build
    // (and every C run-time) puts the same 28 bytes on disk.
    std::FILE* file = std::fopen(VersionRecordPath(installDir).c_str(), "wb");
    if (!file)
        return false;
    bool written = std::fwrite(kVersionRecord, 1, kVersionRecordSize, file) == kVersionRecordSize;
    written = std::fflush(file) == 0 && written;
    return std::fclose(file) == 0 && written;
}

bool CreateFolderChain(const std::string& path, ShellPlatform& shell)
{
    size_t at = 0;
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        // "\\server\share\": neither name is a folder this walk can make.
        size_t server = path.find('\\', 2);
        size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
        if (share == std::string::npos)
            return true;
        at = share + 1;
    } else if (path.size() >= 3 && path[1] == ':' && path[2] == '\\') {
        at = 3;
    }
    // GBK: a trail byte may be 0x5C, so step over double-byte characters.
    for (size_t i = at; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (c >= 0x81 && c <= 0xFE && i + 1 < path.size()) {
            ++i;
            continue;
        }
        if (c != '\\' || i == 0)
            continue;
        std::string folder = path.substr(0, i);
        switch (shell.GetPathKind(folder)) {
        case PathKind::kFolder:
            continue;
        case PathKind::kFile:
            return false;
        case PathKind::kMissing:
            break;
        }
        MakeFolderResult made = shell.MakeFolder(folder);
        if (made == MakeFolderResult::kFailed)
            return false;
        if (made == MakeFolderResult::kAlreadyExists && shell.GetPathKind(folder) != PathKind::kFolder)
            return false;
    }
    return true;
}

bool IsWindowsVistaTo8(ShellPlatform& shell)
{
    OsVersion v = shell.GetOsVersion();
    return v.major == 6 && v.minor <= 2;
}

bool CreateShortcut(
    const std::string& folder, const std::string& target, const std::string& workingFolder, ShellPlatform& shell)
{
    if (folder.empty())
        return false;
    ShortcutInfo info;
    info.target = target;
    info.workingFolder = workingFolder;
    info.description = kShortcutDescription;
    return shell.WriteShortcut(folder + "\\" + kShortcutName, info);
}

HResult InvokeShellVerb(const std::string& file, int verbId, ShellPlatform& shell)
{
    if (shell.GetPathKind(file) == PathKind::kMissing)
        return kVerbFileMissing;
    std::string verb = shell.LoadShellString(verbId);
    if (verb.empty())
        return kStatusFail;
    return shell.InvokeItemVerb(file, verb);
}

namespace {

    void MakeProgramGroup(const std::string& game, const std::string& installDir, ShellPlatform& shell)
    {
        std::string programs;
        if (!shell.GetFolderPath(ShellFolder::kPrograms, &programs))
            return;
        std::string group = programs + "\\" + kProgramGroupName;
        if (!CreateFolderChain(group + "\\", shell) || shell.GetPathKind(group) != PathKind::kFolder)
            return;
        CreateShortcut(group, game, installDir, shell);
        std::string link = group + "\\" + kShortcutName;
        InvokeShellVerb(link, kPinToStartMenuVerb, shell);
        if (IsWindowsVistaTo8(shell))
            InvokeShellVerb(link, kPinToTaskbarVerb, shell);
    }

    void MakeQuickLaunchShortcut(const std::string& game, const std::string& installDir, ShellPlatform& shell)
    {
        // The current user's own Quick Launch folder (a fixed profile path would
        // be another user's, usually not writable).
        std::string appData;
        if (!shell.GetFolderPath(ShellFolder::kAppData, &appData))
            return;
        std::string quickLaunch = appData + kQuickLaunchSubfolder;
        CreateFolderChain(quickLaunch + "\\", shell);
        CreateShortcut(quickLaunch, game, installDir, shell);
    }

} // namespace

void CompleteInstall(const std::string& installDir, ShellPlatform& shell)
{
    const std::string game = GameExecutablePath(installDir);
    bool comReady = shell.InitializeCom();
    std::string desktop;
    if (!shell.GetFolderPath(ShellFolder::kDesktop, &desktop))
        desktop.clear();
    CreateShortcut(desktop, game, installDir, shell);
    MakeProgramGroup(game, installDir, shell);
    if (!IsWindowsVistaTo8(shell))
        MakeQuickLaunchShortcut(game, installDir, shell);
    if (comReady)
        shell.UninitializeCom();
    shell.ShellOpen(game, installDir);
}

} // namespace zdl
