// Encodes frames of 32-bit pixels into a ".tcp" sprite (the format that
// gfx/Sprite.h decodes): one shared palette of up to 256 RGB565 colours,
// each frame cropped to its visible pixels and run-length coded row by row
// with the opcode that keeps the row shortest (skip, fill, literal, alpha
// run, alpha pixel; an end byte when the rest of a row is transparent).
//
// Alpha is stored in steps of 8 (0..248) or as opaque 255: 255 stays opaque,
// values near 0 become transparent, others round to the nearest step.
// Colours and alphas that the format represents exactly (RGB565 values as
// the decoder expands them, alphas 0, 8, ..., 248, 255) decode to the same
// pixels; with more than 256 distinct colours the palette is chosen by
// median cut and the nearest entry is used.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zdl {

struct EncoderFrame {
    int width = 0; // cell width
    int height = 0; // cell height
    std::vector<uint8_t> bgra; // width * height pixels, top row first, straight alpha
    int32_t keyX = 0; // the frame's key point in cell coordinates
    int32_t keyY = 0;
};

struct EncoderOptions {
    int16_t spriteKeyX = 0; // the header's key point (carried, not used)
    int16_t spriteKeyY = 0;
};

// Builds the sprite file bytes. All frames must share one size. False with
// a message in |error| on bad input.
bool EncodeSprite(const std::vector<EncoderFrame>& frames, const EncoderOptions& options, std::vector<uint8_t>* out,
    std::string* error);

// The 16-bit colour whose expansion is nearest to (r, g, b), channel by
// channel; exact when the colour is representable.
uint16_t NearestRgb565(uint8_t r, uint8_t g, uint8_t b);

// The alpha a pixel decodes with after encoding (0 = transparent).
uint8_t QuantizeSpriteAlpha(uint8_t alpha);

} // namespace zdl
