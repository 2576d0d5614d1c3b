#include "platform/win32/Gbk_win.h"

#include "platform/WideEscape.h"

#include <windows.h>

namespace zdl {

namespace {

    void AppendWide(const char* gbk, size_t size, std::wstring* out)
    {
        if (size == 0)
            return;
        int n = MultiByteToWideChar(kGbkCodePage, 0, gbk, static_cast<int>(size), nullptr, 0);
        if (n <= 0)
            return;
        size_t at = out->size();
        out->resize(at + static_cast<size_t>(n));
        MultiByteToWideChar(kGbkCodePage, 0, gbk, static_cast<int>(size), &(*out)[at], n);
    }

    std::string Convert(const wchar_t* wide, size_t size, DWORD flags, BOOL* usedDefault)
    {
        if (size == 0)
            return std::string();
        int n
            = WideCharToMultiByte(kGbkCodePage, flags, wide, static_cast<int>(size), nullptr, 0, nullptr, usedDefault);
        if (n <= 0)
            return std::string();
        std::string out(static_cast<size_t>(n), '\0');
        WideCharToMultiByte(kGbkCodePage, flags, wide, static_cast<int>(size), &out[0], n, nullptr, usedDefault);
        return out;
    }

    // GBK for exactly these units, or false: no default character, no "best
    // fit" look-alike, the way back gives the same units, and no 0xFF byte
    // (which would read as an escape mark).
    bool Exact(const wchar_t* wide, size_t size, std::string* gbk)
    {
        BOOL usedDefault = FALSE;
        std::string out = Convert(wide, size, WC_NO_BEST_FIT_CHARS, &usedDefault);
        if (usedDefault || out.find(static_cast<char>(kWideEscapeMark)) != std::string::npos)
            return false;
        std::wstring back;
        AppendWide(out.data(), out.size(), &back);
        if (back != std::wstring(wide, size))
            return false;
        *gbk = out;
        return true;
    }

} // namespace

std::wstring WideFromGbk(const std::string& gbk)
{
    std::wstring out;
    size_t runStart = 0;
    for (size_t at = gbk.find(static_cast<char>(kWideEscapeMark)); at != std::string::npos;
         at = gbk.find(static_cast<char>(kWideEscapeMark), at + 1)) {
        uint16_t unit = 0;
        if (!ReadWideEscape(gbk, at, &unit))
            continue;
        AppendWide(gbk.data() + runStart, at - runStart, &out);
        out += static_cast<wchar_t>(unit);
        runStart = at + kWideEscapeBytes;
        at = runStart - 1;
    }
    AppendWide(gbk.data() + runStart, gbk.size() - runStart, &out);
    return out;
}

std::string GbkFromWide(const std::wstring& wide)
{
    return Convert(wide.data(), wide.size(), 0, nullptr);
}

bool ExactGbkFromWide(const std::wstring& wide, std::string* gbk)
{
    return Exact(wide.data(), wide.size(), gbk);
}

std::string GbkPathFromWide(const std::wstring& wide)
{
    std::string out;
    if (Exact(wide.data(), wide.size(), &out))
        return out;
    out.clear();
    for (size_t i = 0; i < wide.size();) {
        // A surrogate pair is one character: both units or neither.
        size_t units = IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() && IS_LOW_SURROGATE(wide[i + 1]) ? 2 : 1;
        std::string piece;
        if (Exact(wide.data() + i, units, &piece)) {
            out += piece;
        } else {
            for (size_t k = 0; k < units; ++k)
                out += EscapeWideUnit(static_cast<uint16_t>(wide[i + k]));
        }
        i += units;
    }
    return out;
}

std::string SystemErrorTextGbk(unsigned long code)
{
    wchar_t* text = nullptr;
    DWORD n
        = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n > 0 && text ? std::wstring(text, n) : std::wstring();
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.pop_back();
    return GbkFromWide(message);
}

} // namespace zdl
