#include "platform/Console.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <io.h>
#include <vector>

namespace zdl {

std::string GbkToUtf8(const std::string& gbk)
{
    if (gbk.empty())
        return gbk;
    int wide = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    if (wide <= 0)
        return gbk;
    std::vector<wchar_t> w(static_cast<size_t>(wide));
    MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), w.data(), wide);
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, &out[0], n, nullptr, nullptr);
    return out;
}

bool Utf8ToGbk(const std::string& utf8, std::string* gbk)
{
    gbk->clear();
    if (utf8.empty())
        return true;
    int wide
        = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (wide <= 0)
        return false;
    std::vector<wchar_t> w(static_cast<size_t>(wide));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()), w.data(), wide);
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, w.data(), wide, nullptr, 0, nullptr, &lossy);
    if (n <= 0 || lossy)
        return false;
    gbk->resize(static_cast<size_t>(n));
    WideCharToMultiByte(936, WC_NO_BEST_FIT_CHARS, w.data(), wide, &(*gbk)[0], n, nullptr, &lossy);
    return !lossy;
}

bool GbkToUtf8Exact(const std::string& gbk, std::string* utf8)
{
    utf8->clear();
    if (gbk.empty())
        return true;
    int wide = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    if (wide <= 0)
        return false;
    std::vector<wchar_t> w(static_cast<size_t>(wide));
    MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), static_cast<int>(gbk.size()), w.data(), wide);
    // Code page 936 gives the codes GBK leaves unassigned (the user-defined
    // areas) private-use characters; the GBK tables of other systems give
    // them none. Such a name has no UTF-8 form on either side.
    for (wchar_t c : w)
        if (c >= 0xE000 && c <= 0xF8FF)
            return false;
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return false;
    utf8->resize(static_cast<size_t>(n));
    WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, &(*utf8)[0], n, nullptr, nullptr);
    return true;
}

bool StandardOutputIsTerminal()
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

bool ReadHiddenLine(const char* prompt, std::string* line)
{
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool console = GetConsoleMode(in, &mode) != 0;
    if (console)
        SetConsoleMode(in, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    line->clear();
    int c;
    while ((c = std::getchar()) != EOF && c != '\n')
        line->push_back(static_cast<char>(c));
    if (console) {
        SetConsoleMode(in, mode);
        std::fputc('\n', stderr);
    }
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    return c != EOF || !line->empty();
}

static std::atomic<bool> interrupted { false };

static BOOL WINAPI OnConsoleEvent(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        interrupted = true;
        return TRUE;
    }
    return FALSE;
}

void WatchConsoleInterrupt()
{
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool ConsoleInterruptRequested()
{
    return interrupted;
}

} // namespace zdl
