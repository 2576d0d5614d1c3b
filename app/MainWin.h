// The two skinned top-level windows. CMainWin (868 x 513, "bg.png") hosts
// the download page; CRuleWin (488 x 510, "msg_box.png", owned by the main
// window) hosts the licence page. Both are borderless layered windows drawn
// entirely from a 32-bit canvas: every idle frame copies the background into
// the canvas and lets the desktop paint its pages; a frame that differs from
// the one on the screen (or goes to another place) is premultiplied and
// handed to the layered window. Both can be dragged by any spot that no
// control takes.
//
// Each window owns its canvas and desktop (and through it the page); the
// background belongs to the image cache. User-interface thread only.
#pragma once

#include "app/AppTexts.h"
#include "app/Window.h"
#include "gfx/DibImage.h"
#include "skin/UIDesktopWnd.h"

#include <functional>
#include <vector>

namespace zdl {

class CMainWin;

// Makes the page of a window (the application's, see CSampleApp); the page
// is attached to the window's desktop right after. A window without one
// shows a page of its own: the main window the download page's layout
// script as it stands (CSLayoutPage), the licence window a plain panel.
using PageFactory = std::function<CSBitmapDialog*(CMainWin* window)>;

// Window classes, titles and sizes.
extern const char kMainWindowClass[]; // "MyMainWindow"
extern const char kRuleWindowClass[]; // "MyRuleWindow"
extern const char kDownloadPageScript[]; // "ui_panel1.lua"
extern const char kMainCreateTitle[]; // "MyGameSample"
extern const char kRuleCreateTitle[]; // "MyGameRule"
// kWindowTitle and kCanvasFailedText: app/AppTexts.txt.
constexpr int kMainClientWidth = 868;
constexpr int kMainClientHeight = 513;
constexpr int kRuleClientWidth = 488;
constexpr int kRuleClientHeight = 510;
constexpr int kIconResourceId = 107;

class CMainWin : public CWindow {
public:
    CMainWin();
    ~CMainWin() override;

    LResult WindowProc(unsigned msg, WParam wParam, LParam lParam) override; // 2
    void OnLButtonDown(int x, int y, WParam keys) override; // 5
    void OnLButtonUp(int x, int y, WParam keys) override; // 6
    bool OnIdle(int idleCount) override; // 10
    bool PreCreate(CreateParams* params) override; // 11
    bool OnCreate(LParam createStruct) override; // 12
    void OnPaint() override; // 13
    void OnClose() override; // 14

    // Step 1 of a frame: the background into the canvas, then the desktop's
    // pages over it. False (nothing drawn) without a background or canvas.
    bool RenderFrame();
    // Deletes the window's pages, last attached first; the entry point does
    // this before OLE ends, since pages may hold browsers and their popups.
    void ReleasePages();

    DibImage canvas; // owned; the window's client size, 32 bits
    CSUIDesktopWnd desktop; // owns the pages
    DibImage* background = nullptr; // not owned (image cache)
    bool draggable = false;
    bool dragging = false;
    int dragOffsetX = 0;
    int dragOffsetY = 0;
    int left = 0; // current screen position
    int top = 0;
    int clientWidth = kMainClientWidth;
    int clientHeight = kMainClientHeight;
    PageFactory makePage; // set before the window is created
    int renderedFrames = 0; // frames drawn into the canvas
    int pushedFrames = 0; // frames that differed from the screen's and were pushed

protected:
    // The frame last pushed, before premultiplying, and where it went.
    std::vector<uint8_t> presented_;
    bool hasPresented_ = false;
    int presentedX_ = 0;
    int presentedY_ = 0;

    // The shared halves of PreCreate and OnCreate for both windows.
    bool PrepareCreate(CreateParams* params, const char* className);
    bool BuildWindow(const char* backgroundName, CSBitmapDialog* (*ownPage)(CMainWin* window));
};

class CRuleWin : public CMainWin {
public:
    CRuleWin();

    bool PreCreate(CreateParams* params) override; // 11
    bool OnCreate(LParam createStruct) override; // 12
    // A close request the application did not make itself (Alt+F4, the
    // system menu) dismisses the licence window through |onDismiss|, as the
    // page's own "exit" does, or else through CloseLicenceWindow; either way
    // the application forgets the window and deletes it later. A request
    // from CloseLicenceWindow only destroys the window.
    void OnClose() override; // 14

    // Set by the application to the licence page's "exit", which ends in the
    // application's CloseLicenceWindow.
    std::function<void()> onDismiss;
};

} // namespace zdl
