#include "platform/SystemInfo.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <sys/statvfs.h>

namespace zdl {

uint32_t LastErrorCode()
{
    return static_cast<uint32_t>(errno);
}

void SetLastErrorCode(uint32_t code)
{
    errno = static_cast<int>(code);
}

bool FreeDiskSpace(const std::string& folder, uint64_t* freeBytes)
{
    struct statvfs info;
    if (::statvfs(folder.c_str(), &info) != 0)
        return false;
    *freeBytes = static_cast<uint64_t>(info.f_bavail) * static_cast<uint64_t>(info.f_frsize);
    return true;
}

std::string SystemErrorText(uint32_t code)
{
    return std::strerror(static_cast<int>(code));
}

std::string TempFolder()
{
    const char* dir = std::getenv("TMPDIR");
    std::string folder = dir && *dir ? dir : "/tmp";
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

uint32_t TickCountMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
}

} // namespace zdl

namespace zdl {

DriveType QueryDriveType(char)
{
    return DriveType::kNone;
}

char SystemDriveLetter()
{
    return 'C';
}

} // namespace zdl
