// The pieces of rich text: TextSegment, a run of GBK text in one style, as
// the "#" markup produces it, and TextLine, one laid-out piece of a segment
// at its place in the control.
//
// A segment's style packs the colour and the font attributes in one word:
// bits 0-23 the colour as a COLORREF (red in the low byte), bit 24 bold
// (weight 900 instead of 400), 25 italic, 26 underline, 27 line mode (the
// segment starts its own line, is never wrapped and is drawn centred). The
// font bits are gfx/FontCache.h's kSegmentBold/Italic/Underline.
#pragma once

#include "gfx/FontCache.h"

#include <cstdint>
#include <string>

namespace zdl {

constexpr uint32_t kSegmentColorMask = 0xFFFFFF;
constexpr uint32_t kSegmentLineMode = 0x8000000;
// Font height of a segment that names none, and of a "#r" line break.
constexpr int32_t kDefaultSegmentHeight = 16;

struct TextSegment {
    std::string text; // GBK, copied as given
    int32_t height = kDefaultSegmentHeight; // font height in pixels
    uint32_t style = 0; // colour and attribute bits, above
};

// One line piece of the layout. Offsets are from the control's top-left.
struct TextLine {
    std::string text; // owned copy of the piece's bytes
    int32_t length = 0; // bytes in |text|
    int32_t x = 0;
    int32_t y = 0;
    int32_t bottom = 0; // y + the height of the piece's font
    int32_t segment = 0; // index of the TextSegment whose font and colour it uses
};

} // namespace zdl
