// The shell and COM services install completion needs: the thread's COM
// apartment, the shell's special folders, the operating system's version,
// shell links (IShellLinkW + IPersistFile), the shell verbs of a file
// (Shell32's string table and the "Shell.Application" object), starting a
// program with the shell's "open" verb, and making folders.
//
// One implementation is current per process (GetShellPlatform). On Windows it
// is the Win32 one (platform/win32/ShellPlatform_win.cpp); natively it is a
// process-wide RecordingShellPlatform, which keeps a small picture of the file
// system and writes every effect to its log, so completion can be tested
// without Windows. Paths are GBK with backslashes; the system's own folders
// may hold escapes for what GBK cannot (platform/WideEscape.h), which the
// Windows side turns back. User-interface thread only.
#pragma once

#include "platform/WinDefs.h"

#include <map>
#include <string>
#include <vector>

namespace zdl {

enum class ShellFolder {
    kDesktop, // CSIDL_DESKTOP as a file-system folder
    kPrograms, // CSIDL_PROGRAMS, the Start menu's programs
    kAppData, // CSIDL_APPDATA of the current user
};

enum class PathKind { kMissing, kFile, kFolder };

enum class MakeFolderResult { kCreated, kAlreadyExists, kFailed };

struct OsVersion {
    unsigned major = 0;
    unsigned minor = 0;
};

// What a shell link holds, as written and as read back.
struct ShortcutInfo {
    std::string target;
    std::string workingFolder; // empty: none set
    std::string description;
};

class ShellPlatform {
public:
    virtual ~ShellPlatform() = default;

    // COM for the calling thread as a single-threaded apartment. True when
    // the thread's COM is initialised by this call (S_OK or S_FALSE), so the
    // caller must pair it with UninitializeCom; false otherwise.
    virtual bool InitializeCom() = 0;
    virtual void UninitializeCom() = 0;

    // The file-system path of a special folder, without a trailing backslash.
    virtual bool GetFolderPath(ShellFolder folder, std::string* path) = 0;
    // The version the system reports to this program.
    virtual OsVersion GetOsVersion() = 0;

    virtual PathKind GetPathKind(const std::string& path) = 0;
    virtual MakeFolderResult MakeFolder(const std::string& path) = 0;

    // Writes the link file |linkPath| (replacing it, also when read-only)
    // pointing at |info.target| with the working folder (when not empty),
    // the description and the normal show command. Needs COM.
    virtual bool WriteShortcut(const std::string& linkPath, const ShortcutInfo& info) = 0;
    virtual bool ReadShortcut(const std::string& linkPath, ShortcutInfo* info) = 0;

    // String |id| of Shell32's string table (at most 256 characters); empty
    // when it has none.
    virtual std::string LoadShellString(int id) = 0;
    // Through "Shell.Application": lists the verbs of the existing file
    // |file| and runs the first whose name equals |verbName| (as
    // LoadShellString gave it) character for character. 0 when one ran, kStatusNoInterface when the
    // file's folder cannot be had as a shell folder, kStatusFail when no verb
    // matched or the shell object failed. Needs COM.
    virtual HResult InvokeItemVerb(const std::string& file, const std::string& verbName) = 0;

    // The shell's "open" verb on |file| with empty parameters in
    // |workingFolder|, shown normally. True when the shell started it.
    virtual bool ShellOpen(const std::string& file, const std::string& workingFolder) = 0;
};

// Every answer comes from public fields and every effect is appended to
// |log| as one line, so a test reads what completion did in order.
class RecordingShellPlatform : public ShellPlatform {
public:
    bool comInitResult = true;
    OsVersion osVersion { 6, 1 };
    std::map<ShellFolder, std::string> folders; // missing: lookup fails
    std::map<std::string, PathKind> paths; // anything else is missing
    std::vector<std::string> unwritableFolders; // MakeFolder fails on these
    std::map<int, std::string> shellStrings; // Shell32's string table
    std::vector<std::string> itemVerbs; // verb names of every file
    std::map<std::string, ShortcutInfo> shortcuts;
    std::vector<std::string> log;

    bool InitializeCom() override
    {
        log.push_back(comInitResult ? "com init" : "com init failed");
        return comInitResult;
    }
    void UninitializeCom() override { log.push_back("com uninit"); }
    bool GetFolderPath(ShellFolder folder, std::string* path) override
    {
        auto it = folders.find(folder);
        if (it == folders.end())
            return false;
        *path = it->second;
        return true;
    }
    OsVersion GetOsVersion() override { return osVersion; }
    PathKind GetPathKind(const std::string& path) override
    {
        auto it = paths.find(path);
        return it == paths.end() ? PathKind::kMissing : it->second;
    }
    MakeFolderResult MakeFolder(const std::string& path) override
    {
        if (GetPathKind(path) != PathKind::kMissing)
            return MakeFolderResult::kAlreadyExists;
        for (const std::string& bad : unwritableFolders)
            if (bad == path)
                return MakeFolderResult::kFailed;
        paths[path] = PathKind::kFolder;
        log.push_back("mkdir " + path);
        return MakeFolderResult::kCreated;
    }
    bool WriteShortcut(const std::string& linkPath, const ShortcutInfo& info) override
    {
        shortcuts[linkPath] = info;
        paths[linkPath] = PathKind::kFile;
        log.push_back("link " + linkPath + " -> " + info.target + " in " + info.workingFolder);
        return true;
    }
    bool ReadShortcut(const std::string& linkPath, ShortcutInfo* info) override
    {
        auto it = shortcuts.find(linkPath);
        if (it == shortcuts.end())
            return false;
        *info = it->second;
        return true;
    }
    std::string LoadShellString(int id) override
    {
        auto it = shellStrings.find(id);
        return it == shellStrings.end() ? std::string() : it->second;
    }
    HResult InvokeItemVerb(const std::string& file, const std::string& verbName) override
    {
        for (const std::string& verb : itemVerbs) {
            if (verb == verbName) {
                log.push_back("verb " + verbName + " on " + file);
                return 0;
            }
        }
        return kStatusFail;
    }
    bool ShellOpen(const std::string& file, const std::string& workingFolder) override
    {
        log.push_back("open " + file + " in " + workingFolder);
        return true;
    }
};

// The current implementation: the system's own unless SetShellPlatform
// installed another. Never null.
ShellPlatform& GetShellPlatform();
// Installs |platform| (not owned; must outlive its use); null restores the
// system's own. Returns the previous one.
ShellPlatform* SetShellPlatform(ShellPlatform* platform);
// The system's own (a process-wide RecordingShellPlatform natively).
ShellPlatform& SystemShellPlatform();

} // namespace zdl
