// Device-independent bitmaps in memory and the few system drawing calls made
// on them: creating and deleting a DIB section, block copies, stretched copies
// and solid fills. On Windows these are GDI (CreateDIBSection, BitBlt,
// StretchBlt, ExtTextOut with ETO_OPAQUE); the Linux build does the same work
// by hand on the same memory layout, so code above this layer sees one set of
// pixels on both platforms.
//
// A surface is described by a DibInfo (laid out exactly as a BITMAPINFO header
// followed by three colour masks) plus the bitmap handle and its pixel bits.
// Rows are bottom-up: picture row y lies at bits + (height - 1 - y) * stride.
// Only the user-interface thread draws.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zdl {

// Byte for byte the system's BITMAPINFOHEADER (40 bytes, no padding).
struct DibInfoHeader {
    uint32_t size = 40;
    int32_t width = 0;
    int32_t height = 0; // positive: bottom-up rows
    uint16_t planes = 1;
    uint16_t bitCount = 0;
    uint32_t compression = 0; // kBiRgb or kBiBitfields
    uint32_t sizeImage = 0; // stride * height
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
    uint32_t clrUsed = 0;
    uint32_t clrImportant = 0;
};
static_assert(sizeof(DibInfoHeader) == 40, "DibInfoHeader must match BITMAPINFOHEADER");

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

// The bitmap description handed to the system: header, then three masks.
struct DibInfo {
    DibInfoHeader header;
    uint32_t masks[3] = { 0, 0, 0 };
};

// HBITMAP on Windows; natively the owned pixel block. Null means none.
using DibBitmap = void*;

// A non-owning view of one bitmap, as the drawing calls need it.
struct DibSurface {
    const DibInfo* info = nullptr; // not owned
    DibBitmap bitmap = nullptr; // not owned
    uint8_t* bits = nullptr; // not owned; belongs to the bitmap
    int width = 0;
    int height = 0;
    int stride = 0;
    int bytesPerPixel = 0;

    bool Valid() const { return bitmap != nullptr && bits != nullptr; }
    // Row y counted from the top of the picture.
    uint8_t* Row(int y) const { return bits + static_cast<ptrdiff_t>(height - 1 - y) * stride; }
};

// Creates a DIB section for |info| with all pixels 0. Returns the bitmap and
// its bits through |bits|, or null on failure (no memory, bad size).
DibBitmap CreateDibSection(const DibInfo& info, uint8_t** bits);

// Deletes a bitmap made by CreateDibSection (flushing pending drawing first).
// Null is ignored.
void DeleteDibSection(DibBitmap bitmap);

// Waits for pending system drawing (GdiFlush); nothing natively.
void FlushDrawing();

// BitBlt SRCCOPY: copies the w x h rectangle at (sx, sy) of |src| to (x, y)
// of |dst|, clipped to both surfaces. Between two 32-bit surfaces all four
// bytes move; between depths the colour is converted and a 24-bit source
// gives alpha 0 in a 32-bit target, as GDI does.
bool SurfaceCopy(const DibSurface& dst, int x, int y, int w, int h, const DibSurface& src, int sx, int sy);

enum class StretchQuality { kColorOnColor, kHalftone };

// StretchBlt SRCCOPY from the source rectangle to the target rectangle.
bool SurfaceStretch(const DibSurface& dst, int x, int y, int w, int h, const DibSurface& src, int sx, int sy, int sw,
    int sh, StretchQuality quality);

// ExtTextOut with ETO_OPAQUE and no text: fills the rectangle (clipped) with
// the COLORREF |color| (0x00BBGGRR); a 32-bit surface gets alpha 0 there.
void SurfaceFillOpaque(const DibSurface& dst, int left, int top, int right, int bottom, uint32_t color);

// True when the system is of the NT family (always true natively).
bool QueryPlatformIsNt();

} // namespace zdl
