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

std::string TempFolder()
{
    // As GBK like every path (a user name may be Chinese on any system).
    // MAX_PATH wide characters may take more bytes in GBK: callers judge the
    // length of the result.
    wchar_t buffer[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, buffer);
    if (n == 0)
        return std::string();
    if (n < MAX_PATH)
        return GbkFromWide(std::wstring(buffer, n));
    std::vector<wchar_t> big(n + 1);
    DWORD m = GetTempPathW(n + 1, big.data());
    return m == 0 || m > n ? std::string() : GbkFromWide(std::wstring(big.data(), m));
}

uint32_t TickCountMs()
{
    return GetTickCount();
}

} // namespace zdl

namespace zdl {

bool DriveExists(char letter)
{
    if (letter >= 'a' && letter <= 'z')
        letter = static_cast<char>(letter - 'a' + 'A');
    if (letter < 'A' || letter > 'Z')
        return false;
    return (GetLogicalDrives() >> (letter - 'A')) & 1u;
}

char SystemDriveLetter()
{
    char buffer[MAX_PATH] = {};
    UINT n = GetSystemDirectoryA(buffer, MAX_PATH);
    if (n >= 2 && n < MAX_PATH && buffer[1] == ':') {
        char letter = buffer[0];
        if (letter >= 'a' && letter <= 'z')
            letter = static_cast<char>(letter - 'a' + 'A');
        if (letter >= 'A' && letter <= 'Z')
            return letter;
    }
    return 'C';
}

} // namespace zdl
