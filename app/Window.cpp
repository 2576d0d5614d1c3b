#include "app/Window.h"

#include "gfx/DibImage.h"
#include "platform/DeviceContext.h"

namespace zdl {

namespace {

    CWindow* liveWindows = nullptr; // newest first
    CWindow* windowBeingCreated = nullptr;
    NativeInstance skinInstance = nullptr;
    bool skinInstanceSet = false;

    const char kDefaultClassName[] = "Window";

} // namespace

void SetSkinInstance(NativeInstance instance)
{
    skinInstance = instance;
    skinInstanceSet = true;
}

NativeInstance SkinInstance()
{
    return skinInstanceSet ? skinInstance : WsModuleInstance();
}

CWindow::CWindow() = default;

CWindow::~CWindow()
{
    // An object destroyed before its window must not stay in the list.
    for (CWindow** link = &liveWindows; *link; link = &(*link)->next_) {
        if (*link == this) {
            *link = next_;
            break;
        }
    }
    if (windowBeingCreated == this)
        windowBeingCreated = nullptr;
}

bool CWindow::PreTranslateMessage(const NativeMessage& message)
{
    if (!accelerators || message.message < WM_KEYDOWN || message.message > 0x109)
        return false;
    return WsTranslateAccelerator(hwnd_, accelerators, message);
}

LResult CWindow::DefaultProc()
{
    return WsDefWindowProc(hwnd_, currentMsg, currentWParam, currentLParam);
}

LResult CWindow::WindowProc(unsigned msg, WParam wParam, LParam lParam)
{
    auto mx = [&] { return LowWord(static_cast<uintptr_t>(lParam)); };
    auto my = [&] { return HighWord(static_cast<uintptr_t>(lParam)); };
    switch (msg) {
    case WM_CREATE:
        return OnCreate(lParam) ? 0 : -1;
    case WM_DESTROY:
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_ACTIVATEAPP:
        appActive = wParam != 0;
        return 0;
    case WM_NCDESTROY:
        for (CWindow** link = &liveWindows; *link; link = &(*link)->next_) {
            if (*link == this) {
                *link = next_;
                next_ = nullptr;
                break;
            }
        }
        return 0;
    case WM_COMMAND:
        OnCommand(HighWord(wParam), LowWord(wParam), lParam);
        return 0;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup(reinterpret_cast<NativeMenu>(wParam), LowWord(static_cast<uintptr_t>(lParam)),
            HighWord(static_cast<uintptr_t>(lParam)) != 0);
        return 0;
    case WM_MOUSEMOVE:
        OnMouseMove(mx(), my(), wParam);
        return 0;
    case WM_LBUTTONDOWN:
        OnLButtonDown(mx(), my(), wParam);
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp(mx(), my(), wParam);
        return 0;
    case WM_LBUTTONDBLCLK:
        OnLButtonDblClk(mx(), my(), wParam);
        return 0;
    default:
        if (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC)
            return OnCtlColor(wParam, lParam, static_cast<int>(msg) - WM_CTLCOLORMSGBOX);
        return DefaultProc();
    }
}

void CWindow::OnCommand(int, int, LParam) { }
void CWindow::OnUpdateMenuItem(NativeMenu, int) { }
void CWindow::OnLButtonDown(int, int, WParam) { }
void CWindow::OnLButtonUp(int, int, WParam) { }
void CWindow::OnMouseMove(int, int, WParam) { }
void CWindow::OnLButtonDblClk(int, int, WParam) { }

LResult CWindow::OnCtlColor(WParam, LParam, int)
{
    return DefaultProc();
}

bool CWindow::OnIdle(int)
{
    return false;
}

bool CWindow::PreCreate(CreateParams*)
{
    return true;
}

bool CWindow::OnCreate(LParam)
{
    return true;
}

void CWindow::OnPaint()
{
    CSPaintDC paint(hwnd_);
}

void CWindow::OnClose()
{
    WsPostQuitMessage(0);
}

void CWindow::OnInitMenuPopup(NativeMenu menu, int, bool systemMenu)
{
    if (systemMenu)
        return;
    int count = WsMenuItemCount(menu);
    for (int i = 0; i < count; ++i)
        OnUpdateMenuItem(menu, WsMenuItemId(menu, i));
}

bool RegisterSkinWindowClass(const char* className, NativeCursor cursor, NativeBrush brush, NativeIcon icon)
{
    NativeInstance instance = SkinInstance();
    if (WsClassRegistered(instance, className))
        return true;
    return WsRegisterClass(instance, className, SkinWindowProc, cursor, brush, icon);
}

bool CreateSkinWindow(const char* title, CSWinApp* app, CWindow* parent, CWindow* window)
{
    if (!window)
        return false;
    window->app = app;
    CreateParams params;
    params.windowName = title;
    params.parent = parent ? parent->hwnd_ : nullptr;
    params.instance = SkinInstance();
    if (!window->PreCreate(&params))
        return false;
    if (!params.className) {
        params.className = kDefaultClassName;
        if (!RegisterSkinWindowClass(kDefaultClassName, nullptr, WsSysColorBrush(COLOR_WINDOW + 1), nullptr))
            return false;
    }
    windowBeingCreated = window;
    WindowCreateParams wp;
    wp.exStyle = params.exStyle;
    wp.className = params.className;
    wp.windowName = params.windowName;
    wp.style = params.style;
    wp.x = params.x;
    wp.y = params.y;
    wp.width = params.width;
    wp.height = params.height;
    wp.parent = params.parent;
    wp.menu = params.menu;
    wp.instance = params.instance;
    wp.param = params.param;
    NativeWindow handle = WsCreateWindow(wp);
    if (windowBeingCreated == window) {
        windowBeingCreated = nullptr;
        return false;
    }
    if (!handle)
        return false;
    WsSetWindowUserData(handle, window);
    return true;
}

LResult ZDL_CALLBACK SkinWindowProc(NativeWindow handle, unsigned msg, WParam wParam, LParam lParam)
{
    CWindow* window = FindSkinWindow(handle);
    if (!window && windowBeingCreated) {
        window = windowBeingCreated;
        windowBeingCreated = nullptr;
        window->hwnd_ = handle;
        window->next_ = liveWindows;
        liveWindows = window;
    }
    if (!window)
        return WsDefWindowProc(handle, msg, wParam, lParam);
    window->currentMsg = msg;
    window->currentWParam = wParam;
    window->currentLParam = lParam;
    return window->WindowProc(msg, wParam, lParam);
}

CWindow* FindSkinWindow(NativeWindow handle)
{
    for (CWindow* w = liveWindows; w; w = w->next_) {
        if (w->hwnd_ == handle)
            return w;
    }
    return nullptr;
}

int LiveSkinWindowCount()
{
    int n = 0;
    for (CWindow* w = liveWindows; w; w = w->next_)
        ++n;
    return n;
}

} // namespace zdl
