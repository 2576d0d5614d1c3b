// The Windows side of the system's text: every path and command line the
// portable code hands over is GBK (code page 936) whatever the system's
// ANSI code page, so it becomes UTF-16 here, explicitly with code page 936,
// and goes to the wide ("W") calls. Names coming back from the system are
// turned into GBK the same way. Bytes that are not GBK become U+FFFD or "?"
// rather than vanishing. Any thread.
#pragma once

#include <string>

namespace zdl {

constexpr unsigned kGbkCodePage = 936;

std::wstring WideFromGbk(const std::string& gbk);
std::string GbkFromWide(const std::wstring& wide);

} // namespace zdl
