// The journey's stand-in for the game executable "zpc.exe": records how it
// was started and ends. It writes "zpc-started.txt" beside itself, in UTF-8:
//   cwd=<current folder>
//   cmdline=<whole command line>
// so that the journey can check that "finish" started the game in the
// install folder. Exit code 0 when the record was written, 1 otherwise.
#include "WideToUtf8.h"

#include <windows.h>

#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    wchar_t self[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    if (n == 0 || n >= MAX_PATH * 4)
        return 1;
    std::wstring record(self, n);
    size_t slash = record.find_last_of(L"\\/");
    record = (slash == std::wstring::npos ? std::wstring() : record.substr(0, slash + 1)) + L"zpc-started.txt";

    wchar_t cwd[MAX_PATH * 4];
    DWORD c = GetCurrentDirectoryW(MAX_PATH * 4, cwd);
    if (c == 0 || c >= MAX_PATH * 4)
        return 1;
    std::string text = "cwd=" + Utf8(cwd) + "\r\ncmdline=" + Utf8(GetCommandLineW()) + "\r\n";

    HANDLE file = CreateFileW(record.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    DWORD written = 0;
    BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size() ? 0 : 1;
}
