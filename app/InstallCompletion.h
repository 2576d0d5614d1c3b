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
#pragma once

#include "app/AppTexts.h"
#include "platform/ShellPlatform.h"

#include <string>

namespace zdl {

extern const char kVersionRecordName[]; // "version.bin"
extern const char kVersionRecord[]; // "special_instal_20190627:23\r\n"
constexpr size_t kVersionRecordSize = 28;
extern const char kGameExecutableName[]; // "zpc.exe"
// kShortcutName, kShortcutDescription, kProgramGroupName: app/AppTexts.txt.
extern const char kQuickLaunchSubfolder[]; // "\Microsoft\Internet Explorer\Quick Launch"
// Shell32 string-table ids of the pin verbs.
constexpr int kPinToStartMenuVerb = 5381;
constexpr int kPinToTaskbarVerb = 5386;
// What InvokeShellVerb returns for a file that does not exist.
constexpr HResult kVerbFileMissing = 2;

std::string VersionRecordPath(const std::string& installDir);
std::string GameExecutablePath(const std::string& installDir);

// Writes (or replaces) the version record in |installDir|: exactly the 28
// bytes of kVersionRecord. False when it could not be written whole; the
// caller then keeps the download uncompleted and tries again later.
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

// The "finish" button's work after the acceptance check: COM for the thread,
// the shortcuts and pins, COM released, then the game started with "open"
// in |installDir|. Failures are silent; the game is started regardless.
// The caller closes the main window afterwards.
void CompleteInstall(const std::string& installDir, ShellPlatform& shell = GetShellPlatform());

} // namespace zdl
