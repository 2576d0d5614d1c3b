// The "#" markup of rich text: GBK text with two-to-eight-byte tags that
// change the colour, size and attributes of what follows.
//
//   #B #G #K #R #W #Y   blue, green, black, red, white, yellow
//   #cRRGGBB            colour from exactly six hexadecimal digits
//   #hNN                font height from exactly two decimal digits
//   #d #i #u #t         bold, italic, underline, line mode on
//   #n                  bold, italic, underline and line mode off
//   #r                  line break
//
// Anything else after "#" (another letter, a "#c" without six hex digits, a
// "#h" without two decimal digits, a "#" at the end) is plain text. Tags
// that change nothing before the first real change are dropped; after it
// every tag closes the pending text into a segment. A line break is never
// dropped: it always closes the pending text and adds an empty line-mode
// segment. Double-byte characters are copied whole. Pure function of its
// input; any thread.
#pragma once

#include "skin/TextSegment.h"

#include <cstddef>
#include <vector>

namespace zdl {

// Longest markup accepted, in bytes (the licence text is about 10 KB).
constexpr size_t kMaxMarkupBytes = 1 << 20;

// Replaces *|segments| by the segments of the |length| bytes at |text|.
// False, with no segments, for a null or empty text or one longer than
// kMaxMarkupBytes.
bool ParseMarkup(const char* text, size_t length, std::vector<TextSegment>* segments);

// Bytes of the character that starts at |text|, of the |left| bytes there:
// 2 for a GBK lead byte (0x81-0xFE) followed by a trail byte (0x40-0xFE but
// 0x7F), else 1; 0 when |left| is 0. A lead byte without a valid trail
// stands alone, so a damaged character never swallows a following "#".
inline size_t GbkCharBytes(const char* text, size_t left)
{
    if (left == 0)
        return 0;
    unsigned char c = static_cast<unsigned char>(text[0]);
    if (c < 0x81 || c > 0xFE || left < 2)
        return 1;
    unsigned char t = static_cast<unsigned char>(text[1]);
    return (t >= 0x40 && t <= 0xFE && t != 0x7F) ? 2 : 1;
}

} // namespace zdl
