// Small queries about the running system: the last error code, free disk
// space, the temporary folder and a millisecond tick count. Any thread may
// call these.
#pragma once

#include <cstdint>
#include <string>

namespace zdl {

// The folder separator of the platform's paths ('\\' on Windows, '/' here).
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// The calling thread's last system error code (GetLastError / errno), and a
// way to set it, so a failure can be reported with the code that caused it.
uint32_t LastErrorCode();
void SetLastErrorCode(uint32_t code);

// Bytes free for the calling user on the volume that holds |folder|
// (GetDiskFreeSpaceEx / statvfs). False when the folder cannot be queried.
bool FreeDiskSpace(const std::string& folder, uint64_t* freeBytes);

// The system's own text for error |code| as GBK (FormatMessage in the
// system's language, strerror natively), without a trailing line end;
// empty when the system has none.
std::string SystemErrorText(uint32_t code);

// The system's temporary folder, ending with the path separator, whatever
// its length (callers apply their own limits). Empty when unavailable. On
// Windows the characters of the user's name that GBK cannot hold travel as
// escapes (platform/WideEscape.h), so the folder reaches the file and
// process calls exactly as the system gave it.
std::string TempFolder();

// What kind of drive a letter names (GetDriveType).
enum class DriveType { kNone, kFixed, kRemovable, kOptical, kNetwork, kRamDisk, kUnknown };

// Drive letters of the system's file systems: the kind of drive |letter|
// names, and the drive that holds the system ("C" unless the system says
// otherwise). Natively there are no drive letters: every letter is kNone
// and the system drive is 'C'.
DriveType QueryDriveType(char letter);
char SystemDriveLetter();
// Whether an install may go to drive |letter| by default: a fixed disk. An
// optical or removable drive (a DVD drive or a card reader that took the
// letter D:), a network share and a missing letter do not count.
bool IsInstallDriveType(DriveType type);
// IsInstallDriveType(QueryDriveType(letter)).
bool DriveExists(char letter);

// Milliseconds since an arbitrary start, wrapping like GetTickCount.
uint32_t TickCountMs();

} // namespace zdl
