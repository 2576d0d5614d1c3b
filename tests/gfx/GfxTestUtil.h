// Helpers for the gfx tests: builders for QFA archives, sprite files and
// PNG/JPEG/BMP/TGA bytes, and pixel access on images.
#pragma once

#include "gfx/DibImage.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zdl {
namespace test {

    // A QFA archive of (name, bytes) laid out as the packer does: sorted by the
    // caller, offsets in table order, one 0xFF after each file.
    std::vector<uint8_t> MakeQfa(const std::vector<std::pair<std::string, std::string>>& files);

    struct SpriteFrameSpec {
        bool empty = false;
        int32_t keyX = 0, keyY = 0, width = 0, height = 0;
        std::vector<std::vector<uint8_t>> rows; // opcodes per row
    };

    // A ".tcp" file: one direction, |frames| per direction, cell w x h.
    std::vector<uint8_t> MakeSprite(uint16_t width, uint16_t height, const std::vector<uint16_t>& palette,
        const std::vector<SpriteFrameSpec>& frames, uint16_t directions = 1);

    // PNG bytes through libpng. |colorType| is a PNG_COLOR_TYPE_*; |samples|
    // holds the raw rows (bit depth 8 or 16 as given), |palette| RGB triples and
    // |trns| alpha per palette entry for palette pictures.
    std::vector<uint8_t> MakePng(int width, int height, int colorType, int bitDepth,
        const std::vector<uint8_t>& samples, const std::vector<uint8_t>& palette = {},
        const std::vector<uint8_t>& trns = {});

    // Baseline JPEG of |components| (1 or 3) samples per pixel, quality 100.
    std::vector<uint8_t> MakeJpeg(int width, int height, int components, const std::vector<uint8_t>& samples);

    // Pixel (x, y) of a 32-bit image as {b, g, r, a}; of a 24-bit one with a = 255.
    struct Bgra {
        uint8_t b, g, r, a;
        bool operator==(const Bgra& o) const { return b == o.b && g == o.g && r == o.r && a == o.a; }
    };
    Bgra PixelAt(const DibImage& image, int x, int y);
    void SetPixel(DibImage* image, int x, int y, Bgra p);
    std::string ToString(const Bgra& p);

    bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace test
} // namespace zdl
