#include "platform/DeviceContext.h"

#include <windows.h>

namespace zdl {

static_assert(sizeof(PAINTSTRUCT) <= 72, "PAINTSTRUCT storage too small");

CSDC::~CSDC() = default;

CDibDC::CDibDC(const DibSurface& surface)
    : surface_(surface)
{
    HDC screen = GetDC(nullptr);
    screen_ = screen;
    HDC dc = CreateCompatibleDC(screen);
    dc_ = dc;
    if (dc && surface.bitmap)
        oldObject_ = SelectObject(dc, static_cast<HBITMAP>(surface.bitmap));
}

CDibDC::~CDibDC()
{
    GdiFlush();
    HDC dc = static_cast<HDC>(dc_);
    if (dc) {
        if (oldObject_)
            SelectObject(dc, static_cast<HGDIOBJ>(oldObject_));
        DeleteDC(dc);
    }
    ReleaseDC(nullptr, static_cast<HDC>(screen_));
}

CSPaintDC::CSPaintDC(NativeWindow window)
    : window_(window)
{
    dc_ = BeginPaint(static_cast<HWND>(window), reinterpret_cast<PAINTSTRUCT*>(paint_));
}

CSPaintDC::~CSPaintDC()
{
    EndPaint(static_cast<HWND>(window_), reinterpret_cast<PAINTSTRUCT*>(paint_));
}

CSClientDC::CSClientDC(NativeWindow window)
    : window_(window)
{
    dc_ = GetDC(static_cast<HWND>(window));
}

CSClientDC::~CSClientDC()
{
    ReleaseDC(static_cast<HWND>(window_), static_cast<HDC>(dc_));
}

} // namespace zdl
