// The native window system as the window base of the skin uses it: window
// classes and windows bound to one shared procedure, the message queue,
// modal dialogs from a template, message boxes, layered presentation of a
// canvas, and the few geometry queries of start-up.
//
// On Windows every call is the Win32 call of the same name (text is GBK and
// converted from code page 936 where the system wants wide text). Natively
// there is no screen: windows are simulated in memory. Creating one sends
// WM_NCCREATE and WM_CREATE to its class's procedure, destroying it sends
// WM_DESTROY and WM_NCDESTROY, messages queue and dispatch in-process and
// a presented frame is kept for inspection, so the same window code runs
// headless in tests. User-interface thread only.
#pragma once

#include "platform/DibSurface.h"
#include "platform/UiPlatform.h"
#include "platform/WinDefs.h"

#include <cstdint>
#include <functional>
#include <string>

namespace zdl {

using NativeInstance = void*; // HINSTANCE
using NativeCursor = void*; // HCURSOR
using NativeBrush = void*; // HBRUSH
using NativeIcon = void*; // HICON
using NativeMenu = void*; // HMENU
using NativeAccel = void*; // HACCEL
using NativeModule = void*; // HMODULE

// Called by the system: ZDL_CALLBACK is part of the type, so a procedure
// declared without it does not convert.
using WindowProcFn = LResult(ZDL_CALLBACK*)(NativeWindow window, unsigned msg, WParam wParam, LParam lParam);
using DialogProcFn = intptr_t(ZDL_CALLBACK*)(NativeWindow dialog, unsigned msg, WParam wParam, LParam lParam);

struct WindowRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// CreateWindowEx's arguments.
struct WindowCreateParams {
    uint32_t exStyle = 0;
    const char* className = nullptr;
    const char* windowName = nullptr; // GBK
    uint32_t style = 0;
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    NativeWindow parent = nullptr;
    NativeMenu menu = nullptr;
    NativeInstance instance = nullptr;
    void* param = nullptr;
};

// One queued message (MSG without time and point).
struct NativeMessage {
    NativeWindow window = nullptr;
    unsigned message = 0;
    WParam wParam = 0;
    LParam lParam = 0;
};

// Classes and windows.
bool WsClassRegistered(NativeInstance instance, const char* className);
bool WsRegisterClass(NativeInstance instance, const char* className, WindowProcFn proc, NativeCursor cursor,
    NativeBrush brush, NativeIcon icon);
NativeWindow WsCreateWindow(const WindowCreateParams& params);
bool WsDestroyWindow(NativeWindow window);
bool WsIsWindow(NativeWindow window);
LResult WsDefWindowProc(NativeWindow window, unsigned msg, WParam wParam, LParam lParam);
LResult WsSendMessage(NativeWindow window, unsigned msg, WParam wParam, LParam lParam);
bool WsPostMessage(NativeWindow window, unsigned msg, WParam wParam, LParam lParam);
void WsPostQuitMessage(int exitCode);
// The pointer-sized user data slot of a window (GWLP_USERDATA).
void WsSetWindowUserData(NativeWindow window, void* data);
void* WsGetWindowUserData(NativeWindow window);
bool WsShowWindow(NativeWindow window, int showCommand);
// Puts a window on top of its siblings and activates it (SetWindowPos
// HWND_TOP); false when there is no such window.
bool WsBringToFront(NativeWindow window);
uint32_t WsGetExStyle(NativeWindow window);
void WsSetExStyle(NativeWindow window, uint32_t exStyle);
bool WsGetWindowRect(NativeWindow window, WindowRect* rect);
bool WsAdjustWindowRectEx(WindowRect* rect, uint32_t style, uint32_t exStyle);
void WsScreenSize(int* width, int* height);

// Menus: item count and the id of the item at |position|.
int WsMenuItemCount(NativeMenu menu);
int WsMenuItemId(NativeMenu menu, int position);

// Resources for classes.
NativeCursor WsArrowCursor();
NativeBrush WsStockBrush(int stockObject);
NativeBrush WsSysColorBrush(int colorIndex);
NativeIcon WsLoadIcon(NativeInstance instance, int resourceId);

// The message queue.
bool WsMessageWaiting(); // PeekMessage, PM_NOREMOVE
int WsGetMessage(NativeMessage* message); // > 0 a message, 0 WM_QUIT (wParam = exit code), < 0 error
void WsDispatchMessage(const NativeMessage& message); // TranslateMessage, DispatchMessage
// Accelerator tables: each entry maps a virtual key (with no modifier) to a
// command id.
struct AcceleratorEntry {
    int virtualKey = 0;
    int commandId = 0;
};
NativeAccel WsCreateAcceleratorTable(const AcceleratorEntry* entries, int count);
void WsDestroyAcceleratorTable(NativeAccel table);
bool WsTranslateAccelerator(NativeWindow window, NativeAccel table, const NativeMessage& message);
void WsSleep(uint32_t milliseconds);
// Waits until a message arrives for the calling thread, WsWakeMessageWait
// is called, or |timeoutMs| passes. True when it returned early.
bool WsWaitForMessage(uint32_t timeoutMs);
// Makes the user-interface thread's WsWaitForMessage return (any thread).
// The thread that called WsWaitForMessage first is the one woken.
void WsWakeMessageWait();

// Modal dialogs from a dialog template resource, and their user slot
// (DWLP_USER).
intptr_t WsDialogBox(NativeInstance instance, int templateId, NativeWindow parent, DialogProcFn proc, void* param);
// The same from a DLGTEMPLATE in memory (|dialogTemplate| must be DWORD aligned).
intptr_t WsDialogBoxIndirect(
    NativeInstance instance, const void* dialogTemplate, NativeWindow parent, DialogProcFn proc, void* param);
bool WsEndDialog(NativeWindow dialog, intptr_t result);
void WsSetDialogUserData(NativeWindow dialog, void* data);
void* WsGetDialogUserData(NativeWindow dialog);

// Items of a dialog: GBK text (at most |maxBytes| bytes are returned, cut
// before a split double-byte character) and the state of check boxes.
bool WsSetDlgItemText(NativeWindow dialog, int itemId, const std::string& text);
std::string WsGetDlgItemText(NativeWindow dialog, int itemId, size_t maxBytes);
bool WsIsDlgButtonChecked(NativeWindow dialog, int itemId);
void WsCheckDlgButton(NativeWindow dialog, int itemId, bool checked);
// SendMessage to a dialog (its procedure receives the message).
intptr_t WsSendDialogMessage(NativeWindow dialog, unsigned msg, WParam wParam, LParam lParam);

// Native simulation only: a modal dialog receives WM_INITDIALOG, then this
// script runs with the dialog (setting items and sending commands as a
// player would); a dialog still open afterwards gets WM_CLOSE. Empty: the
// dialog is closed right after WM_INITDIALOG. Ignored on Windows.
using DialogScript = std::function<void(NativeWindow dialog, int templateId)>;
void WsSetDialogScript(DialogScript script);

// A message box with GBK text and caption (null: no caption).
int WsMessageBox(NativeWindow owner, const char* text, const char* caption, unsigned flags);

// UpdateLayeredWindow (looked up in "User32.DLL") with the 32-bit
// premultiplied |canvas| at screen position (x, y), size w x h, taken from
// (srcX, srcY), per-pixel alpha, constant alpha 255. |dirty| (window
// coordinates; null: the whole window) is the part that changed since the
// frame presented before: where the system takes only that part
// (WsPresentsDirtyRect), the rest of |canvas| is not read.
bool WsPresentLayered(NativeWindow window, const DibSurface& canvas, int x, int y, int w, int h, int srcX, int srcY,
    const WindowRect* dirty = nullptr);
// Whether WsPresentLayered updates only the dirty part here
// (UpdateLayeredWindowIndirect, Vista on; always in the native simulation).
bool WsPresentsDirtyRect();
// BitBlt of |canvas| into the window's client area.
void WsCopyToClient(NativeWindow window, const DibSurface& canvas);

// Process start-up services.
NativeInstance WsModuleInstance();
bool WsOleInitialize();
void WsOleUninitialize();
NativeModule WsLoadLibrary(const char* name);
void WsFreeLibrary(NativeModule module);

// Native simulation only: the window's last presented frame position and
// the number of frames presented; the number of message boxes shown and the
// last text. Zero elsewhere.
struct SimulatedWindowStats {
    int presentedFrames = 0;
    int firstPresentOrder = 0; // 1 for the first window ever presented, then 2, ...; 0 never
    int lastX = 0;
    int lastY = 0;
    WindowRect lastDirty; // the part the last frame updated, the whole window when it gave none
};
SimulatedWindowStats WsSimulatedStats(NativeWindow window);
// Native simulation only: the screen size reported (1024 x 768 at start).
void WsSimulateScreenSize(int width, int height);
int WsSimulatedMessageBoxes(const char** lastText);

} // namespace zdl
