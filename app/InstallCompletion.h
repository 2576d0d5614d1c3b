// Install completion: the version record that marks a finished install
// folder, and the work of the "finish" button once the licence is accepted:
// desktop and program-group shortcuts, Start-menu (and, on Windows Vista to
// 8, taskbar) pins, a Quick Launch shortcut elsewhere, and the game started
// from the install folder.
//
// Shell and COM work goes through a ShellPlatform (platform/ShellPlatform.h),
// the system's own unless a test passes another. The version record may be
// written from the poll thread; everything else runs on the user-interface
// thread. Paths and texts are GBK; |installDir| always ends with a backslash.
//
// A version record that cannot be written (a folder the player may not
// write, a full disk) does not keep the page downloading for ever: the
// player is told once, with the system's own words, "finish" is offered,
// and "finish" writes the record again before anything else, telling the
// player again and doing nothing more while it still fails.
#pragma once

#include "app/AppTexts.h"
#include "platform/ShellPlatform.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace zdl {

extern const char kVersionRecordName[]; // "version.bin"
extern const char kVersionRecord[]; // "special_instal_20190627:23\r\n"
constexpr size_t kVersionRecordSize = 28;
extern const char kGameExecutableName[]; // "zpc.exe"
// kShortcutName, kShortcutDescription, kProgramGroupName: app/AppTexts.txt.
extern const char kQuickLaunchSubfolder[]; // "\Microsoft\Internet Explorer\Quick Launch"
// The box for a record that cannot be written: "无法创建安装记录文件" ... (GBK).
extern const char kCompletionTitle[]; // "Zephyra免费版下载器"
// Shell32 string-table ids of the pin verbs.
constexpr int kPinToStartMenuVerb = 5381;
constexpr int kPinToTaskbarVerb = 5386;
// What InvokeShellVerb returns for a file that does not exist.
constexpr HResult kVerbFileMissing = 2;

std::string VersionRecordPath(const std::string& installDir);
std::string GameExecutablePath(const std::string& installDir);

// Writes (or replaces) the version record in |installDir|: exactly the 28
// bytes of kVersionRecord, through a temporary file renamed over the old
// one. False when it could not be written whole, with the system's error
// code in |errorCode| when given (kCodeLinkRefused: the record or its
// temporary file is a link or junction, left as it is).
bool WriteVersionRecordFile(const std::string& installDir, uint32_t* errorCode = nullptr);

// The message for a record that could not be written: its path and the
// system's text for |errorCode|, and what the player can do; for a link,
// kTextLinkRefused naming the record.
std::string VersionRecordFailureText(const std::string& installDir, uint32_t errorCode);

// The record between the end of the download and "finish". Thread-safe: the
// poll thread completes, the user-interface thread finishes.
class VersionRecordKeeper {
public:
    using Writer = std::function<bool(const std::string& installDir, uint32_t* errorCode)>;
    using Reporter = std::function<void(const std::string& gbkText)>;
    VersionRecordKeeper(Writer writer, Reporter reporter);

    // The download into |installDir| is complete: writes the record. A
    // failure is reported (once for a folder, however often this is called)
    // and remembered for Finish. Always true: "finish" may be offered.
    bool Complete(const std::string& installDir);
    // "finish": true when the record is on disk, written by Complete or now;
    // false after reporting the failure again. A folder never completed
    // here is taken as written.
    bool Finish(const std::string& installDir);

private:
    Writer writer_;
    Reporter reporter_;
    std::mutex lock_;
    std::string failedDir_; // the folder whose record is still missing
    bool failed_ = false;
};

// The installer's keeper: the real file, the reports in a message box.
VersionRecordKeeper& TheVersionRecordKeeper();

// The completion step's record (the page's poll thread):
// TheVersionRecordKeeper().Complete(installDir).
bool WriteVersionRecord(const std::string& installDir);

// Makes sure every folder of |path| up to its last backslash exists: a
// drive ("C:\") and a UNC server and share ("\\server\share\") are taken as
// given; a name after the last backslash is not created. False when a
// component is a file or cannot be created.
bool CreateFolderChain(const std::string& path, ShellPlatform& shell = GetShellPlatform());

// True on Windows Vista, 7, 8 (major version 6, minor 0 to 2).
bool IsWindowsVistaTo8(ShellPlatform& shell = GetShellPlatform());

// Writes "<folder>\Zephyra免费版.lnk" pointing at |target|, run in
// |workingFolder|, replacing any earlier link (also a read-only one).
// False without a folder or when the link could not be saved. Needs COM.
bool CreateShortcut(const std::string& folder, const std::string& target, const std::string& workingFolder,
    ShellPlatform& shell = GetShellPlatform());

// Runs the shell verb whose text is string |verbId| of Shell32's string
// table on |file|: 0 when it ran, kVerbFileMissing, kStatusNoInterface when
// the file's folder is no shell folder, kStatusFail otherwise. Needs COM.
HResult InvokeShellVerb(const std::string& file, int verbId, ShellPlatform& shell = GetShellPlatform());

// The "finish" button's work after the acceptance check: the version record
// made sure of (|records|.Finish; while it fails, false and nothing else
// done), COM for the thread, the shortcuts and pins, COM released, then the
// game started with "open" in |installDir|. Shortcut and pin failures are
// silent; the game is started regardless. True when the caller may close
// the main window.
bool CompleteInstall(const std::string& installDir, ShellPlatform& shell = GetShellPlatform(),
    VersionRecordKeeper& records = TheVersionRecordKeeper());

} // namespace zdl
