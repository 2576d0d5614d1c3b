#include "app/InstallCompletion.h"

#include "core_client/CoreStatus.h"
#include "platform/FileSystem.h"
#include "platform/MessageBox.h"
#include "platform/SystemInfo.h"
#include "platform/WinDefs.h"

#include <cstdio>
#include <cstring>

namespace zdl {

const char kVersionRecordName[] = "version.bin";
const char kVersionRecord[] = "special_instal_20190627:23\r\n";
static_assert(sizeof kVersionRecord - 1 == kVersionRecordSize, "the version record is 28 bytes");
const char kGameExecutableName[] = "zpc.exe";
const char kQuickLaunchSubfolder[] = "\\Microsoft\\Internet Explorer\\Quick Launch";
// "Zephyra免费版下载器"
const char kCompletionTitle[] = "Zephyra\xC3\xE2\xB7\xD1\xB0\xE6\xCF\xC2\xD4\xD8\xC6\xF7";

namespace {

    // "无法创建安装记录文件“"
    const char kRecordFailedLead[] = "\xCE\xDE\xB7\xA8\xB4\xB4\xBD\xA8\xB0\xB2\xD7\xB0\xBC\xC7\xC2\xBC\xCE\xC4"
                                     "\xBC\xFE\xA1\xB0";
    // "”："
    const char kRecordFailedPathEnd[] = "\xA1\xB1\xA3\xBA";
    // "请确认安装文件夹可以写入、磁盘还有空间，然后点击“完成”重试。"
    const char kRecordFailedAdvice[] = "\xC7\xEB\xC8\xB7\xC8\xCF\xB0\xB2\xD7\xB0\xCE\xC4\xBC\xFE\xBC\xD0\xBF\xC9"
                                       "\xD2\xD4\xD0\xB4\xC8\xEB\xA1\xA2\xB4\xC5\xC5\xCC\xBB\xB9\xD3\xD0\xBF\xD5"
                                       "\xBC\xE4\xA3\xAC\xC8\xBB\xBA\xF3\xB5\xE3\xBB\xF7\xA1\xB0\xCD\xEA\xB3\xC9"
                                       "\xA1\xB1\xD6\xD8\xCA\xD4\xA1\xA3";

} // namespace

std::string VersionRecordPath(const std::string& installDir)
{
    return installDir + kVersionRecordName;
}

std::string GameExecutablePath(const std::string& installDir)
{
    return installDir + kGameExecutableName;
}

bool WriteVersionRecordFile(const std::string& installDir, uint32_t* errorCode)
{
    // The platform's file calls take the GBK path whatever the system's code
    // page; the line end is CR LF by hand, so the same 28 bytes reach disk.
    // The install folder may be a junction; a link in it named like the
    // record (or its temporary file) is refused, never written through.
    FsStatus status;
    if (WriteFileAtomicallyBelow(
            installDir, kVersionRecordName, std::string(kVersionRecord, kVersionRecordSize), &status))
        return true;
    if (errorCode)
        *errorCode = static_cast<uint32_t>(status.kind == FsErrorKind::Link ? int(kCodeLinkRefused) : status.code);
    return false;
}

std::string VersionRecordFailureText(const std::string& installDir, uint32_t errorCode)
{
    if (errorCode == kCodeLinkRefused) {
        std::string text(std::strlen(kTextLinkRefused) + std::strlen(kVersionRecordName) + 1, '\0');
        int n = std::snprintf(&text[0], text.size(), kTextLinkRefused, kVersionRecordName);
        text.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return text;
    }
    std::string text = kRecordFailedLead + VersionRecordPath(installDir) + kRecordFailedPathEnd;
    std::string system = SystemErrorText(errorCode);
    text += system.empty() ? std::to_string(errorCode) : system;
    return text + "\r\n" + kRecordFailedAdvice;
}

VersionRecordKeeper::VersionRecordKeeper(Writer writer, Reporter reporter)
    : writer_(std::move(writer))
    , reporter_(std::move(reporter))
{
}

bool VersionRecordKeeper::Complete(const std::string& installDir)
{
    std::string report;
    {
        std::lock_guard<std::mutex> hold(lock_);
        uint32_t code = 0;
        bool repeat = failed_ && failedDir_ == installDir;
        if (writer_(installDir, &code)) {
            failed_ = false;
            failedDir_.clear();
            return true;
        }
        failed_ = true;
        failedDir_ = installDir;
        if (repeat)
            return true;
        report = VersionRecordFailureText(installDir, code);
    }
    // Outside the lock: the player may take a while to read it.
    reporter_(report);
    return true;
}

bool VersionRecordKeeper::Finish(const std::string& installDir)
{
    std::string report;
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!failed_ || failedDir_ != installDir)
            return true;
        uint32_t code = 0;
        if (writer_(installDir, &code)) {
            failed_ = false;
            failedDir_.clear();
            return true;
        }
        report = VersionRecordFailureText(installDir, code);
    }
    reporter_(report);
    return false;
}

VersionRecordKeeper& TheVersionRecordKeeper()
{
    static VersionRecordKeeper keeper(
        [](const std::string& dir, uint32_t* code) { return WriteVersionRecordFile(dir, code); },
        [](const std::string& text) { ShowMessageBox(nullptr, text.c_str(), kCompletionTitle, MB_OK | MB_ICONERROR); });
    return keeper;
}

bool WriteVersionRecord(const std::string& installDir)
{
    return TheVersionRecordKeeper().Complete(installDir);
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

bool CompleteInstall(const std::string& installDir, ShellPlatform& shell, VersionRecordKeeper& records)
{
    if (!records.Finish(installDir))
        return false;
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
    return true;
}

} // namespace zdl
