// Character boundaries in GBK (code page 936) text. A lead byte is
// 0x81-0xFE and takes the byte after it as its second half, so whether a
// byte is a lead or a trail can only be told by walking from the start of the
// text: the trail of "中" (D6 D0) is itself in the lead range.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zdl {

inline bool IsGbkLeadByte(unsigned char c)
{
    return c >= 0x81 && c <= 0xFE;
}

// Length of the longest prefix of the |length| bytes at |text| that is at
// most |maxBytes| long and does not end inside a double-byte character.
size_t GbkCutLength(const char* text, size_t length, size_t maxBytes);

// True when byte |pos| of the |length| bytes at |text| is the second half of
// a double-byte character, judged from the start of the text.
bool GbkIsTrailAt(const char* text, int length, int pos);

} // namespace zdl
