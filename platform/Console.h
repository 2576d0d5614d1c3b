// The terminal side of console programs (the headless downloader): text
// conversion from the system's GBK to UTF-8 for output, whether standard
// output is a terminal, and Ctrl-C as a request to stop rather than an
// abrupt end.
#pragma once

#include <string>

namespace zdl {

// GBK (code page 936) bytes as UTF-8; bytes that do not convert become "?".
std::string GbkToUtf8(const std::string& gbk);
// UTF-8 text as GBK; false when it is not valid UTF-8 or holds a character
// GBK cannot represent (nothing is replaced by a look-alike).
bool Utf8ToGbk(const std::string& utf8, std::string* gbk);

// True when standard output is an interactive terminal.
bool StandardOutputIsTerminal();

// From now on Ctrl-C (SIGINT / CTRL_C_EVENT, and SIGTERM natively) only
// sets a flag that ConsoleInterruptRequested reports; call once.
void WatchConsoleInterrupt();
bool ConsoleInterruptRequested();

} // namespace zdl
