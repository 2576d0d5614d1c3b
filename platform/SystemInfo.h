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

// The system's temporary folder, ending with the path separator, whatever
// its length (callers apply their own limits). Empty when unavailable.
std::string TempFolder();

// Drive letters of the system's file systems: whether |letter| names a
// mounted drive (GetLogicalDrives), and the drive that holds the system
// ("C" unless the system says otherwise). Natively there are no drive
// letters: no drive exists and the system drive is 'C'.
bool DriveExists(char letter);
char SystemDriveLetter();

// Milliseconds since an arbitrary start, wrapping like GetTickCount.
uint32_t TickCountMs();

} // namespace zdl
