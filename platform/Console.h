// The terminal side of console programs (the headless downloader, the
// publisher's tools): text conversion between the system's GBK and UTF-8,
// whether standard output is a terminal, and Ctrl-C as a request to stop
// rather than an abrupt end.
#pragma once

#include <string>

namespace zdl {

// GBK (code page 936) bytes as UTF-8; bytes that do not convert become "?".
std::string GbkToUtf8(const std::string& gbk);
// UTF-8 text as GBK; false when it is not valid UTF-8 or holds a character
// GBK cannot represent (nothing is replaced by a look-alike).
bool Utf8ToGbk(const std::string& utf8, std::string* gbk);
// GBK bytes as UTF-8; false when a byte sequence is not a GBK character
// (nothing is replaced). Safe on any thread.
bool GbkToUtf8Exact(const std::string& gbk, std::string* utf8);

// True when standard output is an interactive terminal.
bool StandardOutputIsTerminal();

// Shows `prompt` on standard error and reads one line from standard input,
// without echoing it when that is a terminal (a password). The line feed
// (and a carriage return before it) is dropped; false at end of input.
bool ReadHiddenLine(const char* prompt, std::string* line);

// From now on Ctrl-C (SIGINT / CTRL_C_EVENT, and SIGTERM natively) only
// sets a flag that ConsoleInterruptRequested reports; call once.
void WatchConsoleInterrupt();
bool ConsoleInterruptRequested();

} // namespace zdl
