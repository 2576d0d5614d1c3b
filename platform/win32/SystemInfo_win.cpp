#include "platform/SystemInfo.h"

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
    if (!GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr))
        return false;
    *freeBytes = available.QuadPart;
    return true;
}

std::string TempFolder()
{
    char buffer[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, buffer);
    if (n == 0)
        return std::string();
    if (n < MAX_PATH)
        return std::string(buffer, n);
    // Longer than the classic buffer: return it whole so callers can judge.
    std::vector<char> big(n + 1);
    DWORD m = GetTempPathA(n + 1, big.data());
    return m == 0 || m > n ? std::string() : std::string(big.data(), m);
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
