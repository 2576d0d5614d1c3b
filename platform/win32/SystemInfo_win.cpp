#include "platform/SystemInfo.h"

#include "platform/win32/Gbk_win.h"

#include <windows.h>

#include <vector>

namespace zdl {

uint32_t LastErrorCode()
{
    return GetLastError();
}

void SetLastErrorCode(uint32_t code)
{
    SetLastError(code);
}

bool FreeDiskSpace(const std::string& folder, uint64_t* freeBytes)
{
    ULARGE_INTEGER available;
    if (!GetDiskFreeSpaceExW(WideFromGbk(folder).c_str(), &available, nullptr, nullptr))
        return false;
    *freeBytes = available.QuadPart;
    return true;
}

std::string SystemErrorText(uint32_t code)
{
    return SystemErrorTextGbk(code);
}

std::string TempFolder()
{
    // As GBK like every path, but lossless: a user's name may hold
    // characters GBK has not ("Jörg", a Korean name), and the core is written
    // into this folder and started from it. MAX_PATH wide characters may
    // take more bytes: callers judge the length of the result.
    wchar_t buffer[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, buffer);
    if (n == 0)
        return std::string();
    if (n < MAX_PATH)
        return GbkPathFromWide(std::wstring(buffer, n));
    std::vector<wchar_t> big(n + 1);
    DWORD m = GetTempPathW(n + 1, big.data());
    return m == 0 || m > n ? std::string() : GbkPathFromWide(std::wstring(big.data(), m));
}

uint32_t TickCountMs()
{
    return GetTickCount();
}

} // namespace zdl

namespace zdl {

DriveType QueryDriveType(char letter)
{
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z')
        return DriveType::kNone;
    const wchar_t root[] = { static_cast<wchar_t>(letter), L':', L'\\', L'\0' };
    switch (GetDriveTypeW(root)) {
    case DRIVE_FIXED:
        return DriveType::kFixed;
    case DRIVE_REMOVABLE:
        return DriveType::kRemovable;
    case DRIVE_CDROM:
        return DriveType::kOptical;
    case DRIVE_REMOTE:
        return DriveType::kNetwork;
    case DRIVE_RAMDISK:
        return DriveType::kRamDisk;
    case DRIVE_NO_ROOT_DIR:
        return DriveType::kNone;
    default:
        return DriveType::kUnknown;
    }
}

char SystemDriveLetter()
{
    wchar_t buffer[MAX_PATH] = {};
    UINT n = GetSystemDirectoryW(buffer, MAX_PATH);
    if (n >= 2 && n < MAX_PATH && buffer[1] == ':') {
        wchar_t letter = buffer[0];
        if (letter >= L'a' && letter <= L'z')
            letter = static_cast<wchar_t>(letter - L'a' + L'A');
        if (letter >= L'A' && letter <= L'Z')
            return static_cast<char>(letter);
    }
    return 'C';
}

} // namespace zdl
