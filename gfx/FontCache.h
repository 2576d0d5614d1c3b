// Fonts for skin text. Every control caption shares a font from the
// process-wide cache, keyed by face, height, width and weight; a few controls
// make private fonts (a caption font, the rich-text segment font) that they
// own and delete themselves.
//
// A FontHandle is an HFONT on Windows; natively it points at a FreeType face
// set up with the same cell height, width, weight and style (fontconfig
// picks the file for the face name, so "宋体" finds the installed CJK face).
// Face names are GBK. The cache owns its fonts until ClearFontCache.
// User-interface thread only.
#pragma once

#include "gfx/GfxTexts.h"

#include <cstdint>

namespace zdl {

using FontHandle = void*;

// Key of a shared font.
struct FontDesc {
    char faceName[64] = {}; // GBK, 0-terminated
    int32_t height = 0; // character cell height in pixels (CreateFont's height)
    int32_t width = 0; // average character width; 0 lets the system choose
    int32_t weight = 0; // 0 to 1000

    // Builds a description; |face| is cut to 63 bytes, never inside a
    // double-byte character.
    static FontDesc Make(const char* face, int32_t height, int32_t width, int32_t weight);
};

// Cache order: face bytes, then height, width, weight.
bool operator<(const FontDesc& a, const FontDesc& b);
bool operator==(const FontDesc& a, const FontDesc& b);

// The shared font for |desc|, made on first request with the GB2312
// character set, character precisions, default quality and modern family.
// None when the system cannot make it (nothing is cached then).
FontHandle GetFont(const FontDesc& desc);

// The description of a cached font; false for a handle the cache did not make.
bool FindFontDesc(FontHandle font, FontDesc* out);

// Deletes every cached font. Process teardown only.
void ClearFontCache();

// Number of fonts in the cache (for tests and diagnostics).
int FontCacheSize();

// A font described field by field as a LOGFONT, for the fonts that controls
// own. Everything not listed is 0.
struct FontSpec {
    int32_t height = 0; // > 0 cell height, < 0 character height, 0 default
    int32_t width = 0;
    int32_t weight = 0;
    bool italic = false;
    bool underline = false;
    uint8_t charSet = 0;
    uint8_t quality = 0;
    uint8_t pitchAndFamily = 0;
    char faceName[32] = {}; // GBK, 0-terminated
};

// Makes a font that the caller owns (CreateFontIndirect); none on failure.
FontHandle CreateOwnedFont(const FontSpec& spec);
// The LOGFONT fields |font| was made from; false for none.
bool QueryFontSpec(FontHandle font, FontSpec* out);

// Deletes a font made by CreateOwnedFont. None is ignored; a cached font
// must never be passed.
void DeleteOwnedFont(FontHandle font);

// Segment style bits of rich text that select the font.
constexpr uint32_t kSegmentBold = 0x1000000;
constexpr uint32_t kSegmentItalic = 0x2000000;
constexpr uint32_t kSegmentUnderline = 0x4000000;

// The rich-text segment font: replaces *|font| (deleting the previous one)
// by a font of face |face| (at most 31 bytes), height |segmentHeight| when
// |perSegmentHeight| is set and the face's default otherwise, weight 900 for
// bold segments and 400 otherwise, italic and underline from the style bits,
// proof quality, Swiss family.
void MakeRichTextFont(FontHandle* font, const char* face, int32_t segmentHeight, uint32_t style, bool perSegmentHeight);

// The caption font spec: height 12, normal weight, Swiss family, "宋体"
// (kSongTiFace, gfx/GfxTexts.txt).
FontSpec CaptionFontSpec();

} // namespace zdl
