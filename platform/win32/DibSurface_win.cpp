// DIB sections and the GDI calls made on them. Each operation selects the
// bitmaps into memory contexts made against the screen context for the
// length of the call.
#include "platform/DibSurface.h"

#include <windows.h>

namespace zdl {

static_assert(sizeof(DibInfoHeader) == sizeof(BITMAPINFOHEADER), "DibInfoHeader layout");

DibBitmap CreateDibSection(const DibInfo& info, uint8_t** bits)
{
    *bits = nullptr;
    HDC screen = GetDC(nullptr);
    void* pixels = nullptr;
    HBITMAP bitmap
        = CreateDIBSection(screen, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &pixels, nullptr, 0);
    ReleaseDC(nullptr, screen);
    if (!bitmap || !pixels) {
        if (bitmap)
            DeleteObject(bitmap);
        return nullptr;
    }
    *bits = static_cast<uint8_t*>(pixels);
    return bitmap;
}

void DeleteDibSection(DibBitmap bitmap)
{
    if (!bitmap)
        return;
    GdiFlush();
    DeleteObject(static_cast<HBITMAP>(bitmap));
}

void FlushDrawing()
{
    GdiFlush();
}

bool QueryPlatformIsNt()
{
    // The high bit of GetVersion is set on the Windows 9x family.
    return (GetVersion() & 0x80000000u) == 0;
}

namespace {

    // A memory context with one bitmap selected, for the length of a call.
    class SelectedBitmap {
    public:
        SelectedBitmap(HDC screen, DibBitmap bitmap)
            : dc_(CreateCompatibleDC(screen))
        {
            if (dc_)
                old_ = SelectObject(dc_, static_cast<HBITMAP>(bitmap));
        }
        ~SelectedBitmap()
        {
            if (dc_) {
                GdiFlush();
                SelectObject(dc_, old_);
                DeleteDC(dc_);
            }
        }
        HDC dc() const { return dc_; }

    private:
        HDC dc_;
        HGDIOBJ old_ = nullptr;
    };

    class ScreenDC {
    public:
        ScreenDC()
            : dc_(GetDC(nullptr))
        {
        }
        ~ScreenDC() { ReleaseDC(nullptr, dc_); }
        HDC dc() const { return dc_; }

    private:
        HDC dc_;
    };

} // namespace

bool SurfaceCopy(const DibSurface& dst, int x, int y, int w, int h, const DibSurface& src, int sx, int sy)
{
    if (!dst.Valid() || !src.Valid())
        return false;
    ScreenDC screen;
    SelectedBitmap d(screen.dc(), dst.bitmap);
    SelectedBitmap s(screen.dc(), src.bitmap);
    if (!d.dc() || !s.dc())
        return false;
    return BitBlt(d.dc(), x, y, w, h, s.dc(), sx, sy, SRCCOPY) != 0;
}

bool SurfaceStretch(const DibSurface& dst, int x, int y, int w, int h, const DibSurface& src, int sx, int sy, int sw,
    int sh, StretchQuality quality)
{
    if (!dst.Valid() || !src.Valid())
        return false;
    ScreenDC screen;
    SelectedBitmap d(screen.dc(), dst.bitmap);
    SelectedBitmap s(screen.dc(), src.bitmap);
    if (!d.dc() || !s.dc())
        return false;
    SetStretchBltMode(d.dc(), quality == StretchQuality::kHalftone ? HALFTONE : COLORONCOLOR);
    if (quality == StretchQuality::kHalftone)
        SetBrushOrgEx(d.dc(), 0, 0, nullptr);
    return StretchBlt(d.dc(), x, y, w, h, s.dc(), sx, sy, sw, sh, SRCCOPY) != 0;
}

void SurfaceFillOpaque(const DibSurface& dst, int left, int top, int right, int bottom, uint32_t color)
{
    if (!dst.Valid())
        return;
    ScreenDC screen;
    SelectedBitmap d(screen.dc(), dst.bitmap);
    if (!d.dc())
        return;
    RECT r = { left, top, right, bottom };
    SetBkColor(d.dc(), color);
    ExtTextOutA(d.dc(), 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

} // namespace zdl
