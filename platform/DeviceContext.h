// Device-context wrappers for drawing with the system on images, windows and
// paint cycles. Each acquires its context on construction and gives it back
// on destruction; none is copyable. Handles are HDC / HWND on Windows. The
// Linux build has no system drawing: there a CDibDC still binds the image's
// surface (so text code can reach its pixels through surface()) and the
// window contexts hold nothing.
// Only the user-interface thread uses them.
#pragma once

#include "platform/DibSurface.h"

namespace zdl {

using NativeDC = void*; // HDC on Windows
using NativeWindow = void*; // HWND on Windows

class CSDC {
public:
    CSDC() = default;
    virtual ~CSDC();
    CSDC(const CSDC&) = delete;
    CSDC& operator=(const CSDC&) = delete;

    NativeDC handle() const { return dc_; }

protected:
    NativeDC dc_ = nullptr;
};

// A memory context with the image's bitmap selected, made against the screen
// context. Destruction flushes drawing, selects the old object back, deletes
// the memory context and releases the screen context.
class CDibDC : public CSDC {
public:
    explicit CDibDC(const DibSurface& surface);
    ~CDibDC() override;

    const DibSurface& surface() const { return surface_; }

private:
    DibSurface surface_;
    [[maybe_unused]] NativeDC screen_ = nullptr; // Windows only
    [[maybe_unused]] void* oldObject_ = nullptr; // Windows only
};

// BeginPaint on construction, EndPaint on destruction.
class CSPaintDC : public CSDC {
public:
    explicit CSPaintDC(NativeWindow window);
    ~CSPaintDC() override;

private:
    [[maybe_unused]] NativeWindow window_;
    [[maybe_unused]] unsigned char paint_[72] = {}; // PAINTSTRUCT storage (64 bytes on 32-bit, 72 on 64-bit)
};

// GetDC on construction, ReleaseDC on destruction.
class CSClientDC : public CSDC {
public:
    explicit CSClientDC(NativeWindow window);
    ~CSClientDC() override;

private:
    [[maybe_unused]] NativeWindow window_;
};

} // namespace zdl
