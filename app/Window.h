// CWindow: a top-level window bound to an object. One shared window
// procedure serves every class registered by RegisterSkinWindowClass: it
// finds the object for a window handle in the list of live windows (newest
// first), binding the window being created to its object on the first
// message it receives (WM_NCCREATE), and turns messages into the virtual
// operations below, declared in their table order.
//
// The object belongs to its creator; the window only points at it and
// unlinks it on WM_NCDESTROY. User-interface thread only; the list of live
// windows and the window being created are plain process-wide values.
#pragma once

#include "platform/WindowSystem.h"

#include <cstdint>

namespace zdl {

class CSWinApp;

// CreateWindowEx's parameters as PreCreate may change them.
struct CreateParams {
    uint32_t exStyle = WS_EX_CLIENTEDGE;
    const char* className = nullptr;
    const char* windowName = nullptr;
    uint32_t style = WS_OVERLAPPEDWINDOW;
    int x = static_cast<int>(CW_USEDEFAULT);
    int y = static_cast<int>(CW_USEDEFAULT);
    int width = static_cast<int>(CW_USEDEFAULT);
    int height = static_cast<int>(CW_USEDEFAULT);
    NativeWindow parent = nullptr;
    NativeMenu menu = nullptr;
    NativeInstance instance = nullptr;
    void* param = nullptr;
};

class CWindow {
public:
    CWindow();
    CWindow(const CWindow&) = delete;
    CWindow& operator=(const CWindow&) = delete;

    virtual ~CWindow(); // 0
    // Accelerators for keyboard messages while a table is set.
    virtual bool PreTranslateMessage(const NativeMessage& message); // 1
    virtual LResult WindowProc(unsigned msg, WParam wParam, LParam lParam); // 2
    virtual void OnCommand(int notifyCode, int id, LParam control); // 3
    virtual void OnUpdateMenuItem(NativeMenu menu, int itemId); // 4
    virtual void OnLButtonDown(int x, int y, WParam keys); // 5
    virtual void OnLButtonUp(int x, int y, WParam keys); // 6
    virtual void OnMouseMove(int x, int y, WParam keys); // 7
    virtual void OnLButtonDblClk(int x, int y, WParam keys); // 8
    virtual LResult OnCtlColor(WParam wParam, LParam lParam, int kind); // 9
    // A frame of idle work; true asks for more idle time.
    virtual bool OnIdle(int idleCount); // 10
    virtual bool PreCreate(CreateParams* params); // 11
    // lParam of WM_CREATE (the CREATESTRUCT).
    virtual bool OnCreate(LParam createStruct); // 12
    virtual void OnPaint(); // 13
    virtual void OnClose(); // 14
    virtual void OnInitMenuPopup(NativeMenu menu, int position, bool systemMenu); // 15

    // DefWindowProc with the message being handled.
    LResult DefaultProc();
    NativeWindow handle() const { return hwnd_; }

    CSWinApp* app = nullptr; // not owned
    bool appActive = false; // last wParam of WM_ACTIVATEAPP
    unsigned currentMsg = 0;
    WParam currentWParam = 0;
    LParam currentLParam = 0;
    NativeAccel accelerators = nullptr; // not owned; none by default

private:
    friend LResult ZDL_CALLBACK SkinWindowProc(NativeWindow, unsigned, WParam, LParam);
    friend bool CreateSkinWindow(const char*, CSWinApp*, CWindow*, CWindow*);
    friend CWindow* FindSkinWindow(NativeWindow);
    friend int LiveSkinWindowCount();
    NativeWindow hwnd_ = nullptr;
    CWindow* next_ = nullptr; // list of live windows
};

// Registers |className| for the application's instance with the shared
// procedure; true at once when it is already registered.
bool RegisterSkinWindowClass(const char* className, NativeCursor cursor, NativeBrush brush, NativeIcon icon);

// Creates |window|'s native window titled |title|, owned by |parent| (or
// none). False when PreCreate refuses, registration fails, no message reached
// the object or CreateWindowEx fails.
bool CreateSkinWindow(const char* title, CSWinApp* app, CWindow* parent, CWindow* window);

// The shared window procedure.
LResult ZDL_CALLBACK SkinWindowProc(NativeWindow window, unsigned msg, WParam wParam, LParam lParam);

// The live window bound to |window|; null if none (for tests and dialogs).
CWindow* FindSkinWindow(NativeWindow window);
// Number of live windows.
int LiveSkinWindowCount();

// The instance used for classes and windows (the program's own by default).
void SetSkinInstance(NativeInstance instance);
NativeInstance SkinInstance();

} // namespace zdl
