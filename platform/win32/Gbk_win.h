// The Windows side of the system's text: every path and command line the
// portable code hands over is GBK (code page 936) whatever the system's
// ANSI code page, so it becomes UTF-16 here, explicitly with code page 936,
// and goes to the wide ("W") calls. Nothing here uses the ANSI code page.
//
// Three ways back from UTF-16, by what the text is for:
// - GbkFromWide, for text only shown: what GBK cannot hold becomes "?".
// - ExactGbkFromWide, for a name the player chose and will see (the install
//   folder): false when GBK cannot hold every character, so the caller
//   refuses it instead of using a different folder.
// - GbkPathFromWide, for the system's own folders, never shown: lossless,
//   characters GBK cannot hold travel as escapes (platform/WideEscape.h) that
//   WideFromGbk turns back. Any thread.
#pragma once

#include <string>

namespace zdl {

constexpr unsigned kGbkCodePage = 936;

std::wstring WideFromGbk(const std::string& gbk);
std::string GbkFromWide(const std::wstring& wide);
bool ExactGbkFromWide(const std::wstring& wide, std::string* gbk);
std::string GbkPathFromWide(const std::wstring& wide);

// The system's own text for error |code| (FormatMessage, in the system's
// language), trailing line ends removed, as GBK for a message box; empty
// when the system has none.
std::string SystemErrorTextGbk(unsigned long code);

} // namespace zdl
