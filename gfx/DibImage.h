// The image record behind every picture and every canvas: a 32-bit (or
// 24-bit) device-independent bitmap, and the copy, stretch, fill and alpha
// operations between such images.
//
// Memory layout: rows are bottom-up (picture row 0 is the last row in
// memory); stride = ((width * bytesPerPixel + 3) / 4) * 4; a 32-bit pixel is
// blue, green, red, alpha with straight (not premultiplied) alpha; 24-bit
// images have no alpha and count as opaque. Pixel (x, y), y from the top,
// lies at bits + (height - 1 - y) * stride + x * bytesPerPixel.
//
// A DibImage owns its bitmap (and so its bits) and deletes it when it is
// re-created, reloaded or destroyed. Images are not copyable. Coordinates are
// pixels from the top-left corner of the image. Only the user-interface
// thread creates and draws images.
#pragma once

#include "platform/DibSurface.h"

#include <cstdint>

namespace zdl {

struct DibImage {
    DibInfo info; // head: the bitmap description for the system
    DibBitmap bitmap = nullptr; // owned; none while empty
    uint8_t* bits = nullptr; // owned by |bitmap|
    int stride = 0; // bytes per memory row
    int bytesPerPixel = 0; // (bits per pixel + 7) / 8

    DibImage() = default;
    ~DibImage();
    DibImage(const DibImage&) = delete;
    DibImage& operator=(const DibImage&) = delete;

    bool Empty() const { return bitmap == nullptr; }
    int Width() const { return info.header.width; }
    int Height() const { return info.header.height; }
    int BitsPerPixel() const { return info.header.bitCount; }
    // Memory of picture row y (from the top); y must be inside the image.
    uint8_t* Row(int y) const { return bits + static_cast<ptrdiff_t>(Height() - 1 - y) * stride; }
    uint8_t* Pixel(int x, int y) const { return Row(y) + x * bytesPerPixel; }
    // A view for the platform drawing calls and the device contexts.
    DibSurface Surface() const;
};

// Largest width or height, and pixel count, that CreateDib accepts; file
// headers beyond these are refused before anything is allocated.
constexpr int kMaxDibDimension = 16384;
constexpr int64_t kMaxDibPixels = int64_t(16) * 1024 * 1024; // 64 MB at 32 bits

// Set at start-up: the system is of the NT family (chooses the stretch mode).
extern bool platformIsNt;

// Deletes the image's bitmap (after a drawing flush) and leaves it empty.
void DeleteDib(DibImage* image);

// (Re)creates |image| as a |bitsPerPixel| x |width| x |height| bitmap, all
// bytes 0. 24 and 32 bits per pixel use BI_RGB; others BI_BITFIELDS with the
// 16-bit masks. Returns false (image empty) on bad size or no memory.
bool CreateDib(DibImage* image, int bitsPerPixel, int width, int height);

// Copies the whole source to the target's top-left corner (BitBlt SRCCOPY).
void CopyDib(const DibImage& src, DibImage* dst);

// Copies the w x h rectangle at (sx, sy) of |src| to (x, y) of |dst|. From a
// 24-bit source to a 32-bit target by hand, clipped as AlphaBlendDib clips,
// with alpha 255; every other pairing by BitBlt SRCCOPY.
void BlitDib(const DibImage& src, DibImage* dst, int x, int y, int w, int h, int sx, int sy);

// StretchBlt SRCCOPY, HALFTONE when platformIsNt, else COLORONCOLOR.
void StretchDib(DibImage* dst, int x, int y, int w, int h, const DibImage& src, int sx, int sy, int sw, int sh);

// Draws the source rectangle over the target with the source's straight
// alpha: t += ((s - t) * a) >> 8 per colour channel, and on a 32-bit target
// A = 255 - (((255 - a) * (255 - A) + 255) >> 8). Pixels with a = 0 are left
// alone. Clipped against the target only; the caller keeps the source
// rectangle inside the source. A source that is not 32-bit goes to BlitDib.
void AlphaBlendDib(const DibImage& src, DibImage* dst, int x, int y, int w, int h, int sx, int sy);

struct DibRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// Fills |rect| with the COLORREF |color| (0x00BBGGRR) through the system's
// opaque text-background fill; on a 32-bit image the pixels get alpha 0.
void FillDibRect(DibImage* image, const DibRect& rect, uint32_t color);

// Sets alpha 255 over |rect| clipped to a 32-bit image; nothing when the
// rectangle's left lies outside 0..width or its top outside 0..height.
void SetDibAlphaOpaque(const DibRect& rect, DibImage* image);

// Alpha at (x, y); 255 when the image is not 32-bit or the point is outside.
uint8_t GetDibAlpha(const DibImage& image, int x, int y);

// Premultiplies a 32-bit image: every colour channel v of a pixel whose alpha
// a is not 255 becomes v * a / 255 (rounded down). For the finished frame only.
void PremultiplyDib(DibImage* image);
// The same for the pixels of |rect| only (clipped to the image).
void PremultiplyDibRect(DibImage* image, const DibRect& rect);

} // namespace zdl
