// Shell and session services of the installer: the shell's folder browser
// (with a hook that scripts it, so no test ever waits on it), the named
// single-instance mutex and the shell's "open" verb. Message boxes are in
// platform/MessageBox.h.
//
// On Windows these are the Win32 calls; texts are GBK and converted from
// code page 936 where the system wants wide text. Natively there is no
// shell: without a hook the browser is cancelled and "open" only records
// its target; named mutexes live in the process.
//
// The browser hook is process-wide and may be installed and used from any
// thread; it runs on the thread that asked.
#pragma once

#include "platform/UiPlatform.h"

#include <functional>
#include <string>
#include <vector>

namespace zdl {

// The folder browser's flags used by the installer: BIF_RETURNONLYFSDIRS |
// BIF_DONTGOBELOWDOMAIN | BIF_STATUSTEXT | BIF_NEWDIALOGSTYLE.
constexpr unsigned kInstallFolderBrowseFlags = 0x47;

struct FolderBrowseRequest {
    NativeWindow owner = nullptr; // may be null
    std::string prompt; // GBK text above the tree
    std::string initialFolder; // selected and shown as status text at start
    std::string windowTitle; // replaces the browser's window title
    unsigned flags = kInstallFolderBrowseFlags;
};

// Runs the shell's folder browser modally. True with the chosen folder's
// file-system path (GBK, as the shell gives it: a drive root keeps its
// backslash, other folders have none); false when the player cancels or the
// choice has no file-system path. The browser's item list is always freed.
// A folder the installer cannot use is refused with a message box
// (CheckBrowsedFolder) and reads as cancelled. A hook replaces all of this.
bool BrowseForFolder(const FolderBrowseRequest& request, std::string* chosen);

// What the system's browser found out about the folder chosen.
struct BrowsedFolder {
    std::string path; // GBK; empty when GBK cannot hold the name
    std::string shownName; // the name as far as GBK can show it ("?" for the rest)
    bool nameFitsGbk = true; // every character of the name has a GBK code
    bool writable = true; // the player may create files in it
};

// The refusal texts (GBK): the name has characters GBK cannot hold (the
// downloader and the game use GBK names), or the player may not create
// files there (a protected system folder without administrator rights).
extern const char kTextFolderNameNotGbk[];
extern const char kTextFolderNotWritable[];
extern const char kTextFolderCheckTitle[]; // "选择安装文件夹"

// True when |folder| may be used; otherwise tells the player why not in a
// message box owned by |owner| (the folder's shown name first) and returns
// false.
bool CheckBrowsedFolder(NativeWindow owner, const BrowsedFolder& folder);

// Whether the player may create files in the existing |folder| right now:
// a probe file is created and removed. On Windows the program runs without
// file virtualisation (its manifest asks for the player's own rights), so a
// protected folder answers "no" instead of a private copy elsewhere.
bool FolderAcceptsNewFiles(const std::string& folder);

using FolderBrowserHook = std::function<bool(const FolderBrowseRequest& request, std::string* chosen)>;
FolderBrowserHook SetFolderBrowserHook(FolderBrowserHook hook);

// A named mutex held for the life of the process (or until released).
// Acquire returns false when a mutex of that name already existed; the
// handle is then closed and nothing is held.
class NamedMutex {
public:
    NamedMutex() = default;
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    bool Acquire(const std::string& gbkName);
    void Release();
    bool Held() const { return handle_ != nullptr; }

private:
    void* handle_ = nullptr;
    std::string name_;
};

// ShellExecute with the "open" verb on |target| (a web address or a
// program path, GBK), working folder |folder| (may be empty).
bool ShellOpen(const std::string& target, const std::string& folder = std::string());
// Natively: every target opened so far (for tests).
std::vector<std::string> ShellOpenedTargets();

// Backends (platform/win32, platform/native): the system's own browser,
// used when no hook is installed.
bool SystemBrowseForFolder(const FolderBrowseRequest& request, BrowsedFolder* chosen);

} // namespace zdl
