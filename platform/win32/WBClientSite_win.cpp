#include "platform/win32/WBClientSite_win.h"

namespace zdl {

STDMETHODIMP CWBClientSite::QueryInterface(REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
        *object = static_cast<IOleClientSite*>(this);
        return S_OK;
    }
    if (IsEqualIID(riid, IID_IOleInPlaceSite)) {
        *object = static_cast<IOleInPlaceSite*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CWBClientSite::GetContainer(IOleContainer** container)
{
    if (container)
        *container = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP CWBClientSite::GetWindow(HWND* window)
{
    if (!window)
        return E_POINTER;
    *window = window_;
    return S_OK;
}

STDMETHODIMP CWBClientSite::GetWindowContext(
    IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document, LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info)
{
    if (frame)
        *frame = static_cast<IOleInPlaceFrame*>(this);
    if (document)
        *document = nullptr;
    if (info) {
        info->fMDIApp = FALSE;
        info->hwndFrame = window_;
        info->haccel = nullptr;
        info->cAccelEntries = 0;
    }
    if (position)
        GetClientRect(window_, position);
    if (clip)
        GetClientRect(window_, clip);
    return S_OK;
}

} // namespace zdl
