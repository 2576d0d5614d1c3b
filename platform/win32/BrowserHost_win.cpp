#include "platform/win32/BrowserHost_win.h"
#include "platform/win32/Gbk_win.h"

#include "platform/WebBrowser.h"

#include <mshtml.h>
#include <oleauto.h>

#include <string>

namespace zdl {

namespace {

    // {8856F961-340A-11D0-A96B-00C04FD705A2}
    const CLSID kClsidWebBrowser = { 0x8856F961, 0x340A, 0x11D0, { 0xA9, 0x6B, 0x00, 0xC0, 0x4F, 0xD7, 0x05, 0xA2 } };
    // {D30C1661-CDAF-11D0-8A3E-00C04FC9E26E}
    const IID kIidWebBrowser2 = { 0xD30C1661, 0xCDAF, 0x11D0, { 0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E } };
    // {332C4425-26CB-11D0-B483-00C04FD90119}
    const IID kIidHtmlDocument2 = { 0x332C4425, 0x26CB, 0x11D0, { 0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19 } };

    template <typename T> void ReleaseAndClear(T*& p)
    {
        if (p) {
            p->Release();
            p = nullptr;
        }
    }

    // The safe order: close the object, let it drop its client site, release
    // it, and only then free the site it may still have called.
    void ReleaseObject(BrowserHost* host)
    {
        ReleaseAndClear(host->browser);
        if (host->oleObject) {
            host->oleObject->Close(OLECLOSE_NOSAVE);
            host->oleObject->SetClientSite(nullptr);
            ReleaseAndClear(host->oleObject);
        }
        host->site.reset();
        host->storage.reset();
    }

} // namespace

int32_t EmbedBrowser(BrowserHost* host, HWND window)
{
    if (!host || !window)
        return kBrowserCreateFailed;
    host->storage.reset(new CWBStorage);
    host->site.reset(new CWBClientSite(window));
    IOleClientSite* site = static_cast<IOleClientSite*>(host->site.get());
    void* object = nullptr;
    if (FAILED(OleCreate(kClsidWebBrowser, IID_IOleObject, OLERENDER_DRAW, nullptr, site, host->storage.get(), &object))
        || !object) {
        host->site.reset();
        host->storage.reset();
        return kBrowserCreateFailed;
    }
    host->oleObject = static_cast<IOleObject*>(object);
    host->oleObject->SetHostNames(L"My Host Name", nullptr);
    RECT client;
    GetClientRect(window, &client);
    bool shown = SUCCEEDED(OleSetContainedObject(host->oleObject, TRUE))
        && SUCCEEDED(host->oleObject->DoVerb(OLEIVERB_SHOW, nullptr, site, -1, window, &client));
    IWebBrowser2* browser = nullptr;
    if (shown && SUCCEEDED(host->oleObject->QueryInterface(kIidWebBrowser2, reinterpret_cast<void**>(&browser)))
        && browser) {
        browser->put_Left(0);
        browser->put_Top(0);
        browser->put_Width(client.right - client.left);
        browser->put_Height(client.bottom - client.top);
        browser->Release();
        return 0;
    }
    ReleaseObject(host);
    return kBrowserShowFailed;
}

int32_t NavigateTo(BrowserHost* host, const char* url)
{
    if (!host || !host->oleObject)
        return kBrowserNoInterface;
    if (!host->browser) {
        void* browser = nullptr;
        if (FAILED(host->oleObject->QueryInterface(kIidWebBrowser2, &browser)) || !browser)
            return kBrowserNoInterface;
        host->browser = static_cast<IWebBrowser2*>(browser);
    }
    std::wstring wide = WideFromGbk(url ? url : "");
    VARIANT address;
    VariantInit(&address);
    address.vt = VT_BSTR;
    address.bstrVal = SysAllocString(wide.c_str());
    if (!address.bstrVal)
        return kBrowserNoUrlMemory;
    VARIANT empty;
    VariantInit(&empty);
    HRESULT hr = host->browser->Navigate2(&address, &empty, &empty, &empty, &empty);
    VariantClear(&address);
    host->lastResult = static_cast<int32_t>(hr);
    return host->lastResult;
}

bool IsPageComplete(BrowserHost* host)
{
    if (!host || host->lastResult != 0 || !host->browser)
        return false;
    READYSTATE state = READYSTATE_UNINITIALIZED;
    return SUCCEEDED(host->browser->get_ReadyState(&state)) && state == READYSTATE_COMPLETE;
}

bool ClickPageAt(BrowserHost* host, int x, int y)
{
    if (!host || !host->browser)
        return false;
    IDispatch* dispatch = nullptr;
    if (FAILED(host->browser->get_Document(&dispatch)) || !dispatch)
        return false;
    IHTMLDocument2* document = nullptr;
    HRESULT hr = dispatch->QueryInterface(kIidHtmlDocument2, reinterpret_cast<void**>(&document));
    dispatch->Release();
    if (FAILED(hr) || !document)
        return false;
    IHTMLElement* element = nullptr;
    hr = document->elementFromPoint(x, y, &element);
    document->Release();
    if (FAILED(hr) || !element)
        return false;
    hr = element->click();
    element->Release();
    return SUCCEEDED(hr);
}

void DestroyBrowserHost(BrowserHost* host)
{
    if (!host)
        return;
    ReleaseObject(host);
    delete host;
}

} // namespace zdl
