// The Linux build's DIB sections and GDI stand-ins: the bitmap is a plain
// zeroed block, and copies, stretches and fills are done by hand with the
// results GDI gives on the same bottom-up memory.
#include "platform/DibSurface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace zdl {

DibBitmap CreateDibSection(const DibInfo& info, uint8_t** bits)
{
    *bits = nullptr;
    const DibInfoHeader& h = info.header;
    if (h.width <= 0 || h.height <= 0 || h.bitCount == 0)
        return nullptr;
    size_t bytes = h.sizeImage ? h.sizeImage : 1;
    void* block = std::calloc(1, bytes);
    if (!block)
        return nullptr;
    *bits = static_cast<uint8_t*>(block);
    return block;
}

void DeleteDibSection(DibBitmap bitmap)
{
    std::free(bitmap);
}

void FlushDrawing() { }

bool QueryPlatformIsNt()
{
    return true;
}

// Reads pixel (x, y) of |s| as 0xAARRGGBB; 24-bit pixels have alpha 0, as
// GDI's conversions leave the top byte clear.
static inline uint32_t LoadPixel(const DibSurface& s, int x, int y)
{
    const uint8_t* p = s.Row(y) + x * s.bytesPerPixel;
    if (s.bytesPerPixel == 4)
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    if (s.bytesPerPixel == 3)
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
    if (s.bytesPerPixel == 2) {
        unsigned v = p[0] | p[1] << 8;
        unsigned r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
        return (b << 3 | b >> 2) | (g << 3 | g >> 2) << 8 | (r << 3 | r >> 2) << 16;
    }
    return 0;
}

static inline void StorePixel(const DibSurface& s, int x, int y, uint32_t v)
{
    uint8_t* p = s.Row(y) + x * s.bytesPerPixel;
    if (s.bytesPerPixel >= 3) {
        p[0] = uint8_t(v);
        p[1] = uint8_t(v >> 8);
        p[2] = uint8_t(v >> 16);
        if (s.bytesPerPixel == 4)
            p[3] = uint8_t(v >> 24);
    } else if (s.bytesPerPixel == 2) {
        unsigned b = (v & 0xFF) >> 3, g = ((v >> 8) & 0xFF) >> 3, r = ((v >> 16) & 0xFF) >> 3;
        unsigned w = r << 10 | g << 5 | b;
        p[0] = uint8_t(w);
        p[1] = uint8_t(w >> 8);
    }
}

bool SurfaceCopy(const DibSurface& dst, int x, int y, int w, int h, const DibSurface& src, int sx, int sy)
{
    if (!dst.Valid() || !src.Valid())
        return false;
    // Clip to the source, then to the target, moving both origins together.
    if (sx < 0) {
        x -= sx;
        w += sx;
        sx = 0;
    }
    if (sy < 0) {
        y -= sy;
        h += sy;
        sy = 0;
    }
    if (x < 0) {
        sx -= x;
        w += x;
        x = 0;
    }
    if (y < 0) {
        sy -= y;
        h += y;
        y = 0;
    }
    w = std::min({ w, src.width - sx, dst.width - x });
    h = std::min({ h, src.height - sy, dst.height - y });
    if (w <= 0 || h <= 0)
        return true;
    if (dst.bytesPerPixel == src.bytesPerPixel) {
        size_t rowBytes = size_t(w) * size_t(dst.bytesPerPixel);
        for (int r = 0; r < h; ++r)
            std::memmove(dst.Row(y + r) + x * dst.bytesPerPixel, src.Row(sy + r) + sx * src.bytesPerPixel, rowBytes);
        return true;
    }
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c)
            StorePixel(dst, x + c, y + r, LoadPixel(src, sx + c, sy + r));
    return true;
}

bool SurfaceStretch(const DibSurface& dst, int x, int y, int w, int h, const DibSurface& src, int sx, int sy, int sw,
    int sh, StretchQuality quality)
{
    if (!dst.Valid() || !src.Valid() || w <= 0 || h <= 0 || sw <= 0 || sh <= 0)
        return false;
    for (int r = 0; r < h; ++r) {
        int ty = y + r;
        if (ty < 0 || ty >= dst.height)
            continue;
        // Source span covered by this target row: [y0, y1).
        int y0 = sy + int(int64_t(r) * sh / h);
        int y1 = std::max(y0 + 1, sy + int(int64_t(r + 1) * sh / h));
        for (int c = 0; c < w; ++c) {
            int tx = x + c;
            if (tx < 0 || tx >= dst.width)
                continue;
            int x0 = sx + int(int64_t(c) * sw / w);
            int x1 = std::max(x0 + 1, sx + int(int64_t(c + 1) * sw / w));
            if (quality == StretchQuality::kColorOnColor) {
                if (x0 >= 0 && x0 < src.width && y0 >= 0 && y0 < src.height)
                    StorePixel(dst, tx, ty, LoadPixel(src, x0, y0));
                continue;
            }
            // Halftone: the average of the source pixels the target covers.
            uint32_t sum[4] = { 0, 0, 0, 0 };
            uint32_t n = 0;
            for (int yy = std::max(y0, 0); yy < std::min(y1, src.height); ++yy)
                for (int xx = std::max(x0, 0); xx < std::min(x1, src.width); ++xx) {
                    uint32_t v = LoadPixel(src, xx, yy);
                    for (int k = 0; k < 4; ++k)
                        sum[k] += (v >> (8 * k)) & 0xFF;
                    ++n;
                }
            if (n == 0)
                continue;
            uint32_t v = 0;
            for (int k = 0; k < 4; ++k)
                v |= ((sum[k] + n / 2) / n) << (8 * k);
            StorePixel(dst, tx, ty, v);
        }
    }
    return true;
}

void SurfaceFillOpaque(const DibSurface& dst, int left, int top, int right, int bottom, uint32_t color)
{
    if (!dst.Valid())
        return;
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, dst.width);
    bottom = std::min(bottom, dst.height);
    // COLORREF 0x00BBGGRR becomes the pixel 0x00RRGGBB (alpha 0).
    uint32_t pixel = (color & 0xFF) << 16 | (color & 0xFF00) | ((color >> 16) & 0xFF);
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x)
            StorePixel(dst, x, y, pixel);
}

} // namespace zdl
