#include "gfx/DibImage.h"

#include "gfx/DibRows.h"

#include <algorithm>
#include <cstring>

namespace zdl {

bool platformIsNt = true;

DibImage::~DibImage()
{
    DeleteDib(this);
}

DibSurface DibImage::Surface() const
{
    DibSurface s;
    s.info = &info;
    s.bitmap = bitmap;
    s.bits = bits;
    s.width = Width();
    s.height = Height();
    s.stride = stride;
    s.bytesPerPixel = bytesPerPixel;
    return s;
}

void DeleteDib(DibImage* image)
{
    if (image->bitmap)
        DeleteDibSection(image->bitmap); // flushes first
    image->bitmap = nullptr;
    image->bits = nullptr;
}

bool CreateDib(DibImage* image, int bitsPerPixel, int width, int height)
{
    DeleteDib(image);
    image->info = DibInfo();
    image->stride = 0;
    image->bytesPerPixel = 0;
    if (bitsPerPixel <= 0 || bitsPerPixel > 32 || width <= 0 || height <= 0 || width > kMaxDibDimension
        || height > kMaxDibDimension || int64_t(width) * height > kMaxDibPixels)
        return false;
    int bytesPerPixel = (bitsPerPixel + 7) / 8;
    int stride = ((width * bytesPerPixel + 3) / 4) * 4;
    DibInfoHeader& h = image->info.header;
    h.width = width;
    h.height = height;
    h.bitCount = static_cast<uint16_t>(bitsPerPixel);
    h.compression = (bitsPerPixel == 24 || bitsPerPixel == 32) ? kBiRgb : kBiBitfields;
    h.sizeImage = static_cast<uint32_t>(stride) * static_cast<uint32_t>(height);
    if (bitsPerPixel == 16) {
        image->info.masks[0] = 0x7C00;
        image->info.masks[1] = 0x3E0;
        image->info.masks[2] = 0x1F;
    } else if (bitsPerPixel == 32) {
        image->info.masks[0] = 0xFF0000;
        image->info.masks[1] = 0xFF00;
        image->info.masks[2] = 0xFF;
    }
    image->stride = stride;
    image->bytesPerPixel = bytesPerPixel;
    uint8_t* bits = nullptr;
    DibBitmap bitmap = CreateDibSection(image->info, &bits);
    if (!bitmap)
        return false;
    image->bitmap = bitmap;
    image->bits = bits;
    return true;
}

void CopyDib(const DibImage& src, DibImage* dst)
{
    if (src.Empty() || dst->Empty())
        return;
    SurfaceCopy(dst->Surface(), 0, 0, src.Width(), src.Height(), src.Surface(), 0, 0);
}

// Clips a target rectangle against the target image only, moving the source
// origin along. False when nothing is left.
static bool ClipToTarget(const DibImage& dst, int* x, int* y, int* w, int* h, int* sx, int* sy)
{
    if (*x < 0) {
        *sx -= *x;
        *w += *x;
        *x = 0;
    }
    // Both edges: a rectangle wider than the target that starts left of it
    // would otherwise run past the end of each row.
    if (*x + *w > dst.Width())
        *w = dst.Width() - *x;
    if (*y < 0) {
        *sy -= *y;
        *h += *y;
        *y = 0;
    }
    if (*y + *h > dst.Height())
        *h = dst.Height() - *y;
    return *w > 0 && *h > 0;
}

// Keeps the clipped rectangle inside the source too; the callers promise it
// is, but reading outside an image must never happen.
static bool ClipToSource(const DibImage& src, int* x, int* y, int* w, int* h, int* sx, int* sy)
{
    if (*sx < 0) {
        *x -= *sx;
        *w += *sx;
        *sx = 0;
    }
    if (*sy < 0) {
        *y -= *sy;
        *h += *sy;
        *sy = 0;
    }
    *w = std::min(*w, src.Width() - *sx);
    *h = std::min(*h, src.Height() - *sy);
    return *w > 0 && *h > 0 && *x >= 0 && *y >= 0;
}

bool ClipBlendRect(const DibImage& src, const DibImage& dst, int* x, int* y, int* w, int* h, int* sx, int* sy)
{
    return ClipToTarget(dst, x, y, w, h, sx, sy) && ClipToSource(src, x, y, w, h, sx, sy);
}

void BlitDib(const DibImage& src, DibImage* dst, int x, int y, int w, int h, int sx, int sy)
{
    if (src.Empty() || dst->Empty())
        return;
    if (src.BitsPerPixel() == 24 && dst->BitsPerPixel() == 32) {
        if (!ClipBlendRect(src, *dst, &x, &y, &w, &h, &sx, &sy))
            return;
        for (int r = 0; r < h; ++r) {
            const uint8_t* s = src.Pixel(sx, sy + r);
            uint8_t* d = dst->Pixel(x, y + r);
            for (int c = 0; c < w; ++c, s += 3, d += 4) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                d[3] = 255;
            }
        }
        return;
    }
    SurfaceCopy(dst->Surface(), x, y, w, h, src.Surface(), sx, sy);
}

void StretchDib(DibImage* dst, int x, int y, int w, int h, const DibImage& src, int sx, int sy, int sw, int sh)
{
    if (src.Empty() || dst->Empty())
        return;
    SurfaceStretch(dst->Surface(), x, y, w, h, src.Surface(), sx, sy, sw, sh,
        platformIsNt ? StretchQuality::kHalftone : StretchQuality::kColorOnColor);
}

void FillDibRect(DibImage* image, const DibRect& rect, uint32_t color)
{
    if (image->Empty())
        return;
    SurfaceFillOpaque(image->Surface(), rect.left, rect.top, rect.right, rect.bottom, color);
}

void SetDibAlphaOpaque(const DibRect& rect, DibImage* image)
{
    if (image->Empty() || image->BitsPerPixel() != 32)
        return;
    if (rect.left < 0 || rect.left > image->Width() || rect.top < 0 || rect.top > image->Height())
        return;
    int right = std::min(rect.right, image->Width());
    int bottom = std::min(rect.bottom, image->Height());
    FlushDrawing(); // text drawn through the system must have landed
    for (int y = rect.top; y < bottom; ++y) {
        uint8_t* p = image->Pixel(0, y);
        for (int x = rect.left; x < right; ++x)
            p[x * 4 + 3] = 255;
    }
}

uint8_t GetDibAlpha(const DibImage& image, int x, int y)
{
    if (image.Empty() || image.BitsPerPixel() != 32)
        return 255;
    if (x < 0 || x >= image.Width() || y < 0 || y >= image.Height())
        return 255;
    return image.Pixel(x, y)[3];
}

} // namespace zdl
