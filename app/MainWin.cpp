#include "app/MainWin.h"

#include "app/LayoutPage.h"
#include "app/WinApp.h"
#include "gfx/ImageCache.h"
#include "platform/DeviceContext.h"
#include "platform/MessageBox.h"

#include <algorithm>
#include <cstring>

namespace zdl {

const char kMainWindowClass[] = "MyMainWindow";
const char kRuleWindowClass[] = "MyRuleWindow";
const char kDownloadPageScript[] = "ui_panel1.lua";
const char kMainCreateTitle[] = "MyGameSample";
const char kRuleCreateTitle[] = "MyGameRule";

namespace {

    // Until the pages arrive, a window gets an empty panel and is draggable by
    // its whole surface (the real pages turn dragging on themselves).
    CSBitmapDialog* PlainPage(CMainWin* window)
    {
        window->draggable = true;
        return new CSBitmapDialog;
    }

    // The download page's controls as its script makes them, until the download
    // page's controller takes over.
    CSBitmapDialog* DownloadLayoutPage(CMainWin* window)
    {
        window->draggable = true;
        return new CSLayoutPage(kDownloadPageScript);
    }

    // A control with id 1 closes the window it lives in.
    void CloseOnIdOne(int, int id, CSControl*, uintptr_t window)
    {
        if (id == 1)
            WsSendMessage(reinterpret_cast<NativeWindow>(window), WM_CLOSE, 0, 0);
    }

    // Where |frame| differs from |before| (a byte copy of an earlier frame of
    // the same size): the smallest rectangle holding every changed pixel;
    // false when nothing changed.
    bool ChangedPart(const std::vector<uint8_t>& before, const DibImage& frame, WindowRect* part)
    {
        const int width = frame.Width();
        const size_t rowBytes = static_cast<size_t>(width) * 4;
        int top = -1, bottom = -1, left = width, right = 0;
        for (int y = 0; y < frame.Height(); ++y) {
            const uint8_t* now = frame.Row(y);
            const uint8_t* was = before.data() + (now - frame.bits);
            if (std::memcmp(now, was, rowBytes) == 0)
                continue;
            if (top < 0)
                top = y;
            bottom = y + 1;
            int first = 0;
            while (std::memcmp(now + first * 4, was + first * 4, 4) == 0)
                ++first;
            int last = width - 1;
            while (std::memcmp(now + last * 4, was + last * 4, 4) == 0)
                --last;
            left = std::min(left, first);
            right = std::max(right, last + 1);
        }
        if (top < 0)
            return false;
        *part = WindowRect { left, top, right, bottom };
        return true;
    }

} // namespace

CMainWin::CMainWin() = default;

CMainWin::~CMainWin() = default;

void CMainWin::ReleasePages()
{
    while (!desktop.panels.empty())
        desktop.RemovePanel(desktop.panels.back());
}

bool CMainWin::PrepareCreate(CreateParams* params, const char* className)
{
    if (!RegisterSkinWindowClass(
            className, WsArrowCursor(), WsStockBrush(BLACK_BRUSH), WsLoadIcon(SkinInstance(), kIconResourceId)))
        return false;
    params->className = className;
    params->windowName = kWindowTitle;
    params->style = WS_POPUP;
    params->exStyle = WS_EX_WINDOWEDGE;
    WindowRect r { 0, 0, clientWidth, clientHeight };
    WsAdjustWindowRectEx(&r, params->style, params->exStyle);
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    int screenWidth = 0, screenHeight = 0;
    WsScreenSize(&screenWidth, &screenHeight);
    left = (screenWidth - width) / 2;
    top = (screenHeight - height) / 2;
    params->x = left;
    params->y = top;
    params->width = width;
    params->height = height;
    return true;
}

bool CMainWin::BuildWindow(const char* backgroundName, CSBitmapDialog* (*ownPage)(CMainWin* window))
{
    if (!CreateDib(&canvas, 32, clientWidth, clientHeight)) {
        ShowMessageBox(handle(), kCanvasFailedText, nullptr, MB_ICONERROR);
        return false;
    }
    background = GetImage(backgroundName);
    desktop.width = clientWidth;
    desktop.height = clientHeight;
    desktop.notifyCallback = CloseOnIdOne;
    desktop.notifyUserData = reinterpret_cast<uintptr_t>(handle());
    if (CSBitmapDialog* page = makePage ? makePage(this) : ownPage(this))
        desktop.AttachPanel(page);
    WsSetExStyle(handle(), WsGetExStyle(handle()) | WS_EX_LAYERED | WS_EX_STATICEDGE | WS_EX_CONTROLPARENT);
    return true;
}

bool CMainWin::PreCreate(CreateParams* params)
{
    return PrepareCreate(params, kMainWindowClass);
}

bool CMainWin::OnCreate(LParam)
{
    SetSkinMainWindow(handle());
    return BuildWindow("bg.png", DownloadLayoutPage);
}

LResult CMainWin::WindowProc(unsigned msg, WParam wParam, LParam lParam)
{
    if (msg == WM_ERASEBKGND)
        return 0;
    if (desktop.HandleMessage(handle(), msg, wParam, lParam))
        return 0;
    return CWindow::WindowProc(msg, wParam, lParam);
}

void CMainWin::OnLButtonDown(int x, int y, WParam)
{
    if (!draggable)
        return;
    dragging = true;
    dragOffsetX = x;
    dragOffsetY = y;
}

void CMainWin::OnLButtonUp(int, int, WParam)
{
    dragging = false;
}

bool CMainWin::RenderFrame()
{
    if (!background || canvas.Empty())
        return false;
    CopyDib(*background, &canvas);
    desktop.Paint(&canvas, 0, 0);
    return true;
}

bool CMainWin::OnIdle(int)
{
    if (canvas.Empty())
        return true;
    if (!RenderFrame()) {
        WsCopyToClient(handle(), canvas.Surface());
        desktop.AfterPresent();
        return true;
    }
    ++renderedFrames;
    int x = 0, y = 0;
    if (dragging) {
        if (!GetUiPlatform().IsKeyDown(VK_LBUTTON)) {
            dragging = false; // released outside the window
            return true;
        }
        UiPoint cursor = GetUiPlatform().CursorPos(nullptr);
        x = cursor.x - dragOffsetX;
        y = cursor.y - dragOffsetY;
        left = x;
        top = y;
    } else {
        WindowRect r;
        if (WsGetWindowRect(handle(), &r)) {
            x = r.left;
            y = r.top;
        }
    }
    // A frame equal to the one on the screen at the same place is not
    // prepared and pushed again: the layered window keeps its content. A
    // frame that differs only in part (the progress head, a caption) has
    // only that part premultiplied and handed to the system.
    const size_t size = static_cast<size_t>(canvas.stride) * static_cast<size_t>(canvas.Height());
    const bool inPlace = hasPresented_ && x == presentedX_ && y == presentedY_ && presented_.size() == size;
    WindowRect dirty { 0, 0, canvas.Width(), canvas.Height() };
    if (inPlace && !ChangedPart(presented_, canvas, &dirty)) {
        desktop.AfterPresent();
        return true;
    }
    const bool partial = inPlace && WsPresentsDirtyRect();
    if (partial) {
        for (int line = dirty.top; line < dirty.bottom; ++line) {
            const uint8_t* row = canvas.Row(line);
            std::memcpy(presented_.data() + (row - canvas.bits), row, static_cast<size_t>(canvas.stride));
        }
        PremultiplyDibRect(&canvas, DibRect { dirty.left, dirty.top, dirty.right, dirty.bottom });
    } else {
        presented_.assign(canvas.bits, canvas.bits + size);
        PremultiplyDib(&canvas);
    }
    hasPresented_ = WsPresentLayered(
        handle(), canvas.Surface(), x, y, clientWidth, clientHeight, 0, 0, partial ? &dirty : nullptr);
    ++pushedFrames;
    presentedX_ = x;
    presentedY_ = y;
    desktop.AfterPresent();
    return true;
}

void CMainWin::OnPaint()
{
    CSPaintDC paint(handle());
    if (!background && !canvas.Empty())
        WsCopyToClient(handle(), canvas.Surface());
}

void CMainWin::OnClose()
{
    if (!desktop.CanClose())
        return;
    // The pages stop now (the download page's core and poll run, its
    // browser), while the loop and OLE still run.
    for (CSBitmapDialog* page : desktop.panels)
        page->OnClose();
    WsPostQuitMessage(0);
}

CRuleWin::CRuleWin()
{
    clientWidth = kRuleClientWidth;
    clientHeight = kRuleClientHeight;
}

bool CRuleWin::PreCreate(CreateParams* params)
{
    return PrepareCreate(params, kRuleWindowClass);
}

bool CRuleWin::OnCreate(LParam)
{
    return BuildWindow("msg_box.png", PlainPage);
}

void CRuleWin::OnClose()
{
    CSWinApp* app = CSWinApp::current();
    if (app && app->licenceWindow == this) {
        // Not from CloseLicenceWindow: without this the application would
        // keep a pointer to a destroyed window and the download page would
        // stay locked. CloseLicenceWindow sends the close request again.
        if (onDismiss)
            onDismiss();
        if (app->licenceWindow == this)
            app->CloseLicenceWindow();
        return;
    }
    if (desktop.CanClose())
        WsDestroyWindow(handle());
}

} // namespace zdl
