#include "platform/Console.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <termios.h>
#include <unistd.h>

namespace zdl {

std::string GbkToUtf8(const std::string& gbk)
{
    iconv_t cd = iconv_open("UTF-8", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return gbk;
    std::string out;
    char buffer[1024];
    char* in = const_cast<char*>(gbk.data());
    size_t inLeft = gbk.size();
    while (inLeft > 0) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buffer, static_cast<size_t>(o - buffer));
        if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            // An invalid or cut-off sequence: mark it and go on.
            out += '?';
            ++in;
            --inLeft;
        }
    }
    iconv_close(cd);
    return out;
}

bool Utf8ToGbk(const std::string& utf8, std::string* gbk)
{
    gbk->clear();
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    char buffer[1024];
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size();
    bool ok = true;
    while (ok && inLeft > 0) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        gbk->append(buffer, static_cast<size_t>(o - buffer));
        ok = r != static_cast<size_t>(-1) || errno == E2BIG;
    }
    iconv_close(cd);
    return ok;
}

bool GbkToUtf8Exact(const std::string& gbk, std::string* utf8)
{
    utf8->clear();
    // One converter per thread: the download core converts a name for
    // every file it opens, on several threads.
    struct Converter {
        iconv_t cd = iconv_open("UTF-8", "GBK");
        ~Converter()
        {
            if (cd != reinterpret_cast<iconv_t>(-1))
                iconv_close(cd);
        }
    };
    thread_local Converter converter;
    if (converter.cd == reinterpret_cast<iconv_t>(-1))
        return false;
    iconv(converter.cd, nullptr, nullptr, nullptr, nullptr); // back to the initial state
    char buffer[1024];
    char* in = const_cast<char*>(gbk.data());
    size_t inLeft = gbk.size();
    while (inLeft > 0) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        size_t r = iconv(converter.cd, &in, &inLeft, &o, &oLeft);
        utf8->append(buffer, static_cast<size_t>(o - buffer));
        if (r == static_cast<size_t>(-1) && errno != E2BIG)
            return false;
    }
    return true;
}

bool StandardOutputIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

bool ReadHiddenLine(const char* prompt, std::string* line)
{
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    termios saved {};
    const bool terminal = ::isatty(STDIN_FILENO) == 1 && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    line->clear();
    int c;
    while ((c = std::getchar()) != EOF && c != '\n')
        line->push_back(static_cast<char>(c));
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fputc('\n', stderr);
    }
    if (!line->empty() && line->back() == '\r')
        line->pop_back();
    return c != EOF || !line->empty();
}

static std::atomic<bool> interrupted { false };

static void OnInterrupt(int)
{
    interrupted = true;
}

void WatchConsoleInterrupt()
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
}

bool ConsoleInterruptRequested()
{
    return interrupted;
}

} // namespace zdl
