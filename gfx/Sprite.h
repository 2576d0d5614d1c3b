// Sprites in the game's ".tcp" format and their decoding onto 32-bit images.
//
// A sprite holds a 256-colour RGB565 palette shared by directions x frames
// frames; each frame is run-length coded row by row with 5-bit alpha for
// partly transparent pixels. The skin never draws a sprite on screen: the
// image loader decodes every frame of direction 0 once into a horizontal
// strip of equal cells (BuildSpriteStrip) and discards the sprite.
//
// File layout (little-endian): u16 magic 0x5053 ("SP"), u16 header length
// (12), u16 directions, u16 frames, u16 cell width, u16 cell height, s16 key
// x, s16 key y; then 512 bytes of palette, u32 frame table (offsets from the
// palette start, 0 = empty frame), then frame headers {s32 key x, key y,
// width, height, u32 row offsets from the frame header} and row opcodes:
//   0x00 end of row          0x01-0x1F alpha run: n, then alpha/8, index
//   0x20-0x3F alpha pixel    (alpha = (b & 0x1F) * 8), then index
//   0x40-0x7F literal: n indices     0x80-0xBF fill: n pixels of one index
//   0xC0-0xFF skip n pixels (n = b & 0x3F for the last three kinds)
// A row also ends when it has covered the frame's width.
//
// Everything in a loaded sprite is checked against the file at load:
// a frame, row table or opcode that points outside the file fails the load,
// so drawing trusts the records. Only the user-interface thread uses sprites.
#pragma once

#include "gfx/DibImage.h"
#include "gfx/ResourceArchive.h"

#include <cstdint>
#include <vector>

namespace zdl {

constexpr uint16_t kSpriteMagic = 0x5053;
constexpr size_t kSpriteHeaderSize = 16;
constexpr size_t kSpritePaletteSize = 512;
// Limits on what a sprite file may declare; larger values are refused.
constexpr int kMaxSpriteFrames = 4096; // directions x frames
constexpr int kMaxSpriteDimension = 4096; // cell and frame width, height
constexpr int kMaxSpriteStripWidth = 65536; // strip width in pixels

struct SpriteFrame {
    int32_t keyX = 0;
    int32_t keyY = 0;
    int32_t width = 0;
    int32_t height = 0;
    const uint8_t* palette = nullptr; // not owned: the sprite's block
    std::vector<const uint8_t*> rows; // not owned: row data in the block

    bool Empty() const { return rows.empty(); }
};

struct SpriteFile {
    uint16_t magic = 0;
    uint16_t headerLength = 0;
    uint16_t directions = 0;
    uint16_t frames = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    int16_t keyX = 0;
    int16_t keyY = 0;
    std::vector<uint8_t> block; // palette, frame table, frame data
    std::vector<SpriteFrame> records; // directions x frames, direction-major

    const SpriteFrame* Frame(int direction, int frame) const
    {
        return &records[static_cast<size_t>(direction) * frames + static_cast<size_t>(frame)];
    }
};

struct Rgb {
    uint8_t r, g, b;
};

// RGB565 to 8-bit channels: each field moves to the top of its byte and its
// own low bits fill the freed low bits (R5 = 16 gives 128, 17 gives 137).
inline Rgb ExpandRgb565(uint16_t c)
{
    unsigned r5 = c >> 11, g6 = (c >> 5) & 0x3F, b5 = c & 0x1F;
    return Rgb { static_cast<uint8_t>((r5 << 3) | (r5 & 7)), static_cast<uint8_t>((g6 << 2) | (g6 & 3)),
        static_cast<uint8_t>((b5 << 3) | (b5 & 7)) };
}

// Opens |name| through OpenResourceFile and loads it into |sprite|.
bool LoadSprite(const char* name, SpriteFile* sprite);
// Loads from an open stream (read from its start).
bool LoadSpriteFromStream(ResourceStream* stream, SpriteFile* sprite);
// Frees the records and the block.
void FreeSprite(SpriteFile* sprite);

// Decodes |frame| onto a 32-bit image with the frame's key point at (x, y),
// clipped to the image. Nothing when either is missing.
void DrawSpriteFrame(DibImage* image, const SpriteFrame* frame, int x, int y);

// Lays direction 0 of |sprite| out as a 32-bit strip of cells (for 3 or 4
// frames: normal, pressed, hover, disabled from the stored normal, hover,
// pressed, disabled; 2 frames: two cells; otherwise one cell per frame).
bool BuildSpriteStrip(const SpriteFile& sprite, DibImage* image);

// The cell order of a strip: frame drawn in cell |cell| for |frames| frames,
// and the number of cells.
int SpriteStripCells(int frames);
int SpriteStripFrameOfCell(int frames, int cell);

} // namespace zdl
