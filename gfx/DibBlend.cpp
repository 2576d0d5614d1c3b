// The per-pixel loops of alpha blending and premultiplication. They run over
// raw rows without the system and are written branch-free in 16-bit lanes
// so that the compiler turns them into vector code:
//   t + ((s - t) * a >> 8)  ==  (s * a + t * (256 - a)) >> 8
// (exact for 0 <= s, t, a <= 255, and never above 65280), and a = 0 leaves
// both colour and alpha unchanged, so that case needs no test.
#include "gfx/DibImage.h"

#include "gfx/DibRows.h"

#include <algorithm>

namespace zdl {

void BlendRow32(uint8_t* __restrict dst, const uint8_t* __restrict src, int count)
{
    for (int i = 0; i < count * 4; i += 4) {
        uint16_t a = src[i + 3];
        uint16_t na = static_cast<uint16_t>(256 - a);
        dst[i + 0] = static_cast<uint8_t>((src[i + 0] * a + dst[i + 0] * na) >> 8);
        dst[i + 1] = static_cast<uint8_t>((src[i + 1] * a + dst[i + 1] * na) >> 8);
        dst[i + 2] = static_cast<uint8_t>((src[i + 2] * a + dst[i + 2] * na) >> 8);
        uint16_t ta = static_cast<uint16_t>(255 - dst[i + 3]);
        dst[i + 3] = static_cast<uint8_t>(255 - ((static_cast<uint16_t>(255 - a) * ta + 255) >> 8));
    }
}

void BlendRow32To24(uint8_t* __restrict dst, const uint8_t* __restrict src, int count)
{
    for (int i = 0; i < count; ++i) {
        uint16_t a = src[i * 4 + 3];
        uint16_t na = static_cast<uint16_t>(256 - a);
        dst[i * 3 + 0] = static_cast<uint8_t>((src[i * 4 + 0] * a + dst[i * 3 + 0] * na) >> 8);
        dst[i * 3 + 1] = static_cast<uint8_t>((src[i * 4 + 1] * a + dst[i * 3 + 1] * na) >> 8);
        dst[i * 3 + 2] = static_cast<uint8_t>((src[i * 4 + 2] * a + dst[i * 3 + 2] * na) >> 8);
    }
}

void PremultiplyRow32(uint8_t* __restrict row, int count)
{
    // v * a / 255 rounded down, for v * a <= 65025: (x + (x >> 8) + 1) >> 8.
    // With a = 255 it gives v back, so opaque pixels need no test.
    for (int i = 0; i < count * 4; i += 4) {
        uint32_t a = row[i + 3];
        for (int c = 0; c < 3; ++c) {
            uint32_t x = row[i + c] * a;
            row[i + c] = static_cast<uint8_t>((x + (x >> 8) + 1) >> 8);
        }
    }
}

void AlphaBlendDib(const DibImage& src, DibImage* dst, int x, int y, int w, int h, int sx, int sy)
{
    if (src.Empty() || dst->Empty())
        return;
    if (src.BitsPerPixel() != 32) {
        BlitDib(src, dst, x, y, w, h, sx, sy);
        return;
    }
    if (!ClipBlendRect(src, *dst, &x, &y, &w, &h, &sx, &sy))
        return;
    bool toAlpha = dst->BitsPerPixel() == 32;
    if (!toAlpha && dst->BitsPerPixel() != 24)
        return;
    for (int r = 0; r < h; ++r) {
        const uint8_t* s = src.Pixel(sx, sy + r);
        uint8_t* d = dst->Pixel(x, y + r);
        if (toAlpha)
            BlendRow32(d, s, w);
        else
            BlendRow32To24(d, s, w);
    }
}

void PremultiplyDib(DibImage* image)
{
    if (image->Empty() || image->BitsPerPixel() != 32)
        return;
    for (int y = 0; y < image->Height(); ++y)
        PremultiplyRow32(image->Row(y), image->Width());
}

}  // namespace zdl
