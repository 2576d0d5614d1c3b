// Names from the system that GBK cannot hold, carried whole through the
// portable code's GBK strings.
//
// The system hands out folders in UTF-16 (the temporary folder, the desktop,
// the Start menu, the application data): a user called "Jörg" or with a
// Korean name has characters in them that code page 936 has no bytes for.
// Such a path is never shown to the player, only handed back to the system,
// so the Windows layer writes each UTF-16 unit GBK cannot hold as the byte
// 0xFF followed by four lower-case hex digits, and turns that back into the
// same unit before it calls the system. GBK never uses the byte 0xFF (lead
// and trail bytes end at 0xFE), and the four digits are ASCII, so no GBK
// text is misread and a walk over GBK characters never takes part of an
// escape for a backslash. Plain functions; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zdl {

constexpr unsigned char kWideEscapeMark = 0xFF;
constexpr size_t kWideEscapeBytes = 5; // the mark and four hex digits

// "\xFF" and the four hex digits of |unit|.
std::string EscapeWideUnit(uint16_t unit);
// The unit of the escape that starts at |at| in |text|: false when |at| holds
// no mark or fewer than four hex digits follow it.
bool ReadWideEscape(const std::string& text, size_t at, uint16_t* unit);
// Whether |text| holds at least one well-formed escape: a name the player
// could not be shown in GBK.
bool HoldsWideEscape(const std::string& text);

} // namespace zdl
