// The Linux build has no window system: contexts bind surfaces only.
#include "platform/DeviceContext.h"

namespace zdl {

CSDC::~CSDC() = default;

CDibDC::CDibDC(const DibSurface& surface)
    : surface_(surface)
{
    dc_ = surface_.bitmap;
}

CDibDC::~CDibDC() = default;

CSPaintDC::CSPaintDC(NativeWindow window)
    : window_(window)
{
}

CSPaintDC::~CSPaintDC() = default;

CSClientDC::CSClientDC(NativeWindow window)
    : window_(window)
{
}

CSClientDC::~CSClientDC() = default;

} // namespace zdl
