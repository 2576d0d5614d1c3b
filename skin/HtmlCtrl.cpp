#include "skin/HtmlCtrl.h"

#include "gfx/ImageCache.h"
#include "platform/WindowSystem.h"
#include "skin/ControlContainer.h"

#include <algorithm>

namespace zdl {

const char kWebPlaceholderImage[] = "web_bg.png";

CSHtmlCtrl::CSHtmlCtrl()
    : CSControl(kTypeHtmlCtrl)
{
}

CSHtmlCtrl::~CSHtmlCtrl()
{
    CloseBrowser();
}

void CSHtmlCtrl::CloseBrowser()
{
    if (browser_) {
        if (host)
            browser_->DestroyHost(host);
        if (window)
            browser_->DestroyBrowserWindow(window);
    }
    host = nullptr;
    window = nullptr;
    pageShown = false;
    navigationOk_ = false;
    placedW_ = placedH_ = -1;
}

bool CSHtmlCtrl::Navigate(const char* url)
{
    if (!browser_)
        browser_ = &GetBrowserPlatform();
    placeholder = GetImage(kWebPlaceholderImage);
    navigationOk_ = false;
    if (!window) {
        window = browser_->CreateBrowserWindow(SkinMainWindow(), width, height);
        if (!window)
            return false;
    }
    // One host per control: a later navigation reuses it.
    if (!host) {
        host = browser_->CreateHost();
        if (!host)
            return false;
        if (browser_->EmbedBrowser(host, window) != 0) {
            browser_->DestroyHost(host);
            host = nullptr;
            return false;
        }
    }
    browser_->UpdateBrowserWindow(window);
    int32_t result = browser_->NavigateTo(host, url ? url : "");
    bool online = browser_->IsOnline();
    placedW_ = placedH_ = -1;
    FollowMainWindow();
    navigationOk_ = online && result == 0;
    pageShown = navigationOk_ && browser_->IsPageComplete(host);
    SetVisible(pageShown);
    return true;
}

void CSHtmlCtrl::FollowWindow(int windowLeft, int windowTop)
{
    if (!window || !browser_)
        return;
    int px = windowLeft + x;
    int py = windowTop + y;
    int pw = width + kBrowserOverhangX;
    int ph = height + kBrowserOverhangY;
    if (px == placedX_ && py == placedY_ && pw == placedW_ && ph == placedH_)
        return;
    browser_->PlaceBrowserWindow(window, px, py, pw, ph, width, height);
    placedX_ = px;
    placedY_ = py;
    placedW_ = pw;
    placedH_ = ph;
}

void CSHtmlCtrl::FollowMainWindow()
{
    WindowRect r;
    if (!SkinMainWindow() || !WsGetWindowRect(SkinMainWindow(), &r))
        r = WindowRect {};
    FollowWindow(r.left, r.top);
}

void CSHtmlCtrl::SetVisible(bool show)
{
    visible = show;
    if (window && browser_)
        browser_->ShowBrowserWindow(window, show && pageShown);
}

void CSHtmlCtrl::ShowPage()
{
    pageShown = true;
    SetVisible(true);
}

void CSHtmlCtrl::Paint(DibImage* surface, int originX, int originY)
{
    if (!visible || pageShown)
        return;
    if (host && navigationOk_ && browser_->IsPageComplete(host)) {
        ShowPage();
        return;
    }
    if (!placeholder || !surface)
        return;
    // The part of the full-window picture under the control, kept inside
    // the picture.
    int sx = std::max(0, x + originX);
    int sy = std::max(0, y + originY);
    int right = std::min(x + originX + width, placeholder->Width());
    int bottom = std::min(y + originY + height, placeholder->Height());
    if (right <= sx || bottom <= sy)
        return;
    AlphaBlendDib(*placeholder, surface, sx, sy, right - sx, bottom - sy, sx, sy);
}

bool CSHtmlCtrl::Over(int px, int py)
{
    return HitTest(px, py);
}

bool CSHtmlCtrl::OnMouse(unsigned msg, int px, int py, WParam, LParam)
{
    if (!enabled || !visible)
        return false;
    bool over = Over(px, py);
    if (over && handCursor)
        GetUiPlatform().SetCursorShape(CursorShape::kHand);
    switch (msg) {
    case WM_MOUSEMOVE:
        return false;
    case WM_LBUTTONDOWN:
        return over;
    case WM_LBUTTONUP:
        if (!over)
            return false;
        // Clicks on the skinned area go to the page element under them.
        if (host && browser_)
            browser_->ClickAt(host, px - rect.left, py - rect.top);
        return true;
    default:
        return false;
    }
}

} // namespace zdl
