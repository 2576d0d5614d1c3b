// CSHtmlCtrl: the embedded web view (layout type "UContainer"; the news
// banner of the download page). The page itself is shown by a browser in a
// borderless popup window ("CSHtmlWindow") that floats over the control's
// area; until that page has loaded completely the control paints its part
// of the full-window picture "web_bg.png" instead, and every Paint doubles
// as the poll that reveals the page once it is complete.
//
// The popup is shown only while the control is visible AND the page was
// found complete after a navigation that started well on a connected
// machine, so neither a half-loaded page nor an error page ever floats over
// the skin. The control owns its browser host and its popup and closes them
// when it is destroyed (pages are torn down before OLE ends).
// Coordinates as for every control; the popup is placed in screen
// coordinates from the main window's position. User-interface thread only.
#pragma once

#include "platform/WebBrowser.h"
#include "skin/Control.h"

namespace zdl {

// The placeholder picture's name.
extern const char kWebPlaceholderImage[]; // "web_bg.png"

class CSHtmlCtrl : public CSControl {
public:
    CSHtmlCtrl();
    ~CSHtmlCtrl() override;

    void Paint(DibImage* surface, int originX, int originY) override;
    bool OnMouse(unsigned msg, int x, int y, WParam wParam, LParam lParam) override;
    // Also shows or hides the popup; it is shown only with a finished page.
    void SetVisible(bool show) override;

    // Makes the popup and the browser on first use and navigates to the GBK
    // |url|. False when the browser could not be embedded (the control then
    // keeps its placeholder).
    bool Navigate(const char* url);
    // Places the popup over the control for the main window at screen
    // position (windowLeft, windowTop): the control's size plus the
    // overhang, clipped to the control's size.
    void FollowWindow(int windowLeft, int windowTop);
    // FollowWindow with the main window's current position.
    void FollowMainWindow();
    // Closes the browser and destroys the popup.
    void CloseBrowser();

    BrowserHost* host = nullptr; // owned; freed through the browser platform
    DibImage* placeholder = nullptr; // not owned (image cache)
    NativeWindow window = nullptr; // the popup, owned
    bool handCursor = false;
    bool pageShown = false;

private:
    bool Over(int x, int y);
    void ShowPage();

    BrowserPlatform* browser_ = nullptr; // the implementation that made host and window
    bool navigationOk_ = false; // online, navigation started, browser embedded
    // Last placement, so unchanged frames do not move the popup again.
    int placedX_ = 0, placedY_ = 0, placedW_ = -1, placedH_ = -1;
};

} // namespace zdl
