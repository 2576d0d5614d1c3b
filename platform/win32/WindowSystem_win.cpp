// The window system on Windows: thin wrappers over the Win32 calls. Classes
// are registered with the ANSI functions (their procedures receive ANSI
// messages); titles, message-box texts and captions are GBK and converted
// from code page 936 to wide text so they show correctly whatever the
// system's ANSI code page is.
#include "platform/WindowSystem.h"
#include "platform/win32/Gbk_win.h"

#include <ole2.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <type_traits>
#include <vector>

namespace zdl {

// The procedures are handed to the system as WNDPROC and DLGPROC: they must
// use the system's calling convention (stdcall on 32-bit Windows), or every
// message leaves the caller's stack off by the arguments' size.
static_assert(std::is_same_v<WindowProcFn, LResult(CALLBACK*)(NativeWindow, unsigned, WParam, LParam)>,
    "window procedures must be CALLBACK");
static_assert(std::is_same_v<DialogProcFn, intptr_t(CALLBACK*)(NativeWindow, unsigned, WParam, LParam)>,
    "dialog procedures must be CALLBACK");
static_assert(sizeof(WNDPROC) == sizeof(WindowProcFn) && sizeof(DLGPROC) == sizeof(DialogProcFn));

namespace {

    HWND H(NativeWindow w)
    {
        return static_cast<HWND>(w);
    }

    MSG ToMsg(const NativeMessage& m)
    {
        MSG msg = {};
        msg.hwnd = H(m.window);
        msg.message = m.message;
        msg.wParam = m.wParam;
        msg.lParam = m.lParam;
        msg.time = GetMessageTime();
        DWORD pos = GetMessagePos();
        msg.pt.x = static_cast<short>(LOWORD(pos));
        msg.pt.y = static_cast<short>(HIWORD(pos));
        return msg;
    }

    using UpdateLayeredWindowFn = BOOL(WINAPI*)(HWND, HDC, POINT*, SIZE*, HDC, POINT*, COLORREF, BLENDFUNCTION*, DWORD);
    using UpdateLayeredWindowIndirectFn = BOOL(WINAPI*)(HWND, const UPDATELAYEREDWINDOWINFO*);

    // Both bound once: the functions are the same for the life of the
    // process. The indirect form, which can take only the changed part of a
    // frame, exists from Vista on.
    UpdateLayeredWindowFn LayeredUpdate()
    {
        static UpdateLayeredWindowFn update = reinterpret_cast<UpdateLayeredWindowFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("User32.DLL"), "UpdateLayeredWindow")));
        return update;
    }
    UpdateLayeredWindowIndirectFn LayeredUpdateIndirect()
    {
        static UpdateLayeredWindowIndirectFn update = reinterpret_cast<UpdateLayeredWindowIndirectFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("User32.DLL"), "UpdateLayeredWindowIndirect")));
        return update;
    }

} // namespace

// The installer's windows are Unicode windows, so their titles and the
// characters typed reach them whole under any ANSI code page. The portable
// window procedures read typed characters as GBK bytes (a double-byte
// character as two WM_CHAR, as an ANSI window under code page 936 gets
// them): a thunk per class turns each UTF-16 WM_CHAR into those bytes.
namespace {

    struct ClassProc {
        ATOM atom = 0;
        WindowProcFn proc = nullptr;
    };
    constexpr size_t kMaxWindowClasses = 16;
    ClassProc classProcs[kMaxWindowClasses]; // written before any window of the class exists

    WindowProcFn ProcOf(HWND window)
    {
        ATOM atom = static_cast<ATOM>(GetClassWord(window, GCW_ATOM));
        for (const ClassProc& c : classProcs)
            if (c.atom == atom)
                return c.proc;
        return nullptr;
    }

    LRESULT CALLBACK WideWindowThunk(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        WindowProcFn proc = ProcOf(window);
        if (!proc)
            return DefWindowProcW(window, msg, wParam, lParam);
        if (msg == WM_CHAR && wParam >= 0x80) {
            std::string gbk = GbkFromWide(std::wstring(1, static_cast<wchar_t>(wParam)));
            LRESULT result = 0;
            for (char c : gbk)
                result = proc(window, msg, static_cast<unsigned char>(c), lParam);
            return result;
        }
        return proc(window, msg, wParam, lParam);
    }

} // namespace

bool WsClassRegistered(NativeInstance instance, const char* className)
{
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    return GetClassInfoExW(static_cast<HINSTANCE>(instance), WideFromGbk(className).c_str(), &wc) != 0;
}

bool WsRegisterClass(NativeInstance instance, const char* className, WindowProcFn proc, NativeCursor cursor,
    NativeBrush brush, NativeIcon icon)
{
    ClassProc* slot = nullptr;
    for (ClassProc& c : classProcs)
        if (!c.atom && !slot)
            slot = &c;
    if (!slot)
        return false;
    const std::wstring name = WideFromGbk(className);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_VREDRAW | CS_HREDRAW;
    wc.lpfnWndProc = WideWindowThunk;
    wc.hInstance = static_cast<HINSTANCE>(instance);
    wc.hCursor = static_cast<HCURSOR>(cursor);
    wc.hbrBackground = static_cast<HBRUSH>(brush);
    wc.hIcon = static_cast<HICON>(icon);
    wc.lpszClassName = name.c_str();
    slot->proc = proc;
    slot->atom = RegisterClassExW(&wc);
    if (!slot->atom)
        slot->proc = nullptr;
    return slot->atom != 0;
}

NativeWindow WsCreateWindow(const WindowCreateParams& p)
{
    std::wstring cls = WideFromGbk(p.className ? p.className : "");
    std::wstring title = WideFromGbk(p.windowName ? p.windowName : "");
    return CreateWindowExW(p.exStyle, cls.c_str(), title.c_str(), p.style, p.x, p.y, p.width, p.height, H(p.parent),
        static_cast<HMENU>(p.menu), static_cast<HINSTANCE>(p.instance), p.param);
}

bool WsDestroyWindow(NativeWindow window)
{
    return DestroyWindow(H(window)) != 0;
}

bool WsIsWindow(NativeWindow window)
{
    return window && IsWindow(H(window));
}

LResult WsDefWindowProc(NativeWindow window, unsigned msg, WParam wParam, LParam lParam)
{
    return DefWindowProcW(H(window), msg, wParam, lParam);
}

LResult WsSendMessage(NativeWindow window, unsigned msg, WParam wParam, LParam lParam)
{
    return SendMessageW(H(window), msg, wParam, lParam);
}

bool WsPostMessage(NativeWindow window, unsigned msg, WParam wParam, LParam lParam)
{
    return PostMessageW(H(window), msg, wParam, lParam) != 0;
}

void WsPostQuitMessage(int exitCode)
{
    PostQuitMessage(exitCode);
}

void WsSetWindowUserData(NativeWindow window, void* data)
{
    SetWindowLongPtrA(H(window), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(data));
}

void* WsGetWindowUserData(NativeWindow window)
{
    return reinterpret_cast<void*>(GetWindowLongPtrA(H(window), GWLP_USERDATA));
}

bool WsShowWindow(NativeWindow window, int showCommand)
{
    return ShowWindow(H(window), showCommand) != 0;
}

bool WsBringToFront(NativeWindow window)
{
    return SetWindowPos(H(window), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE) != 0;
}

uint32_t WsGetExStyle(NativeWindow window)
{
    return static_cast<uint32_t>(GetWindowLongPtrA(H(window), GWL_EXSTYLE));
}

void WsSetExStyle(NativeWindow window, uint32_t exStyle)
{
    SetWindowLongPtrA(H(window), GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
}

bool WsGetWindowRect(NativeWindow window, WindowRect* rect)
{
    RECT r;
    if (!GetWindowRect(H(window), &r))
        return false;
    *rect = WindowRect { r.left, r.top, r.right, r.bottom };
    return true;
}

bool WsAdjustWindowRectEx(WindowRect* rect, uint32_t style, uint32_t exStyle)
{
    RECT r = { rect->left, rect->top, rect->right, rect->bottom };
    if (!AdjustWindowRectEx(&r, style, FALSE, exStyle))
        return false;
    *rect = WindowRect { r.left, r.top, r.right, r.bottom };
    return true;
}

void WsScreenSize(int* width, int* height)
{
    *width = GetSystemMetrics(SM_CXSCREEN);
    *height = GetSystemMetrics(SM_CYSCREEN);
}

int WsMenuItemCount(NativeMenu menu)
{
    return GetMenuItemCount(static_cast<HMENU>(menu));
}

int WsMenuItemId(NativeMenu menu, int position)
{
    return static_cast<int>(GetMenuItemID(static_cast<HMENU>(menu), position));
}

NativeCursor WsArrowCursor()
{
    return LoadCursorA(nullptr, IDC_ARROW);
}

NativeBrush WsStockBrush(int stockObject)
{
    return GetStockObject(stockObject);
}

NativeBrush WsSysColorBrush(int colorIndex)
{
    return reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(colorIndex));
}

NativeIcon WsLoadIcon(NativeInstance instance, int resourceId)
{
    return LoadIconA(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(resourceId));
}

bool WsMessageWaiting()
{
    MSG msg;
    return PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE) != 0;
}

int WsGetMessage(NativeMessage* message)
{
    MSG msg;
    BOOL r = GetMessageW(&msg, nullptr, 0, 0);
    message->window = msg.hwnd;
    message->message = msg.message;
    message->wParam = msg.wParam;
    message->lParam = msg.lParam;
    return r > 0 ? 1 : (r == 0 ? 0 : -1);
}

void WsDispatchMessage(const NativeMessage& message)
{
    MSG msg = ToMsg(message);
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

NativeAccel WsCreateAcceleratorTable(const AcceleratorEntry* entries, int count)
{
    std::vector<ACCEL> table;
    for (int i = 0; i < count; ++i) {
        ACCEL a = {};
        a.fVirt = FVIRTKEY;
        a.key = static_cast<WORD>(entries[i].virtualKey);
        a.cmd = static_cast<WORD>(entries[i].commandId);
        table.push_back(a);
    }
    return table.empty() ? nullptr : CreateAcceleratorTableA(table.data(), static_cast<int>(table.size()));
}

void WsDestroyAcceleratorTable(NativeAccel table)
{
    if (table)
        DestroyAcceleratorTable(static_cast<HACCEL>(table));
}

bool WsTranslateAccelerator(NativeWindow window, NativeAccel table, const NativeMessage& message)
{
    MSG msg = ToMsg(message);
    return TranslateAcceleratorW(H(window), static_cast<HACCEL>(table), &msg) != 0;
}

void WsSleep(uint32_t milliseconds)
{
    Sleep(milliseconds);
}

intptr_t WsDialogBox(NativeInstance instance, int templateId, NativeWindow parent, DialogProcFn proc, void* param)
{
    // Unicode dialogs: the template's texts become the controls' texts
    // without passing through the ANSI code page.
    return DialogBoxParamW(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEW(templateId), H(parent),
        reinterpret_cast<DLGPROC>(proc), reinterpret_cast<LPARAM>(param));
}

intptr_t WsDialogBoxIndirect(
    NativeInstance instance, const void* dialogTemplate, NativeWindow parent, DialogProcFn proc, void* param)
{
    return DialogBoxIndirectParamW(static_cast<HINSTANCE>(instance), static_cast<LPCDLGTEMPLATEW>(dialogTemplate),
        H(parent), reinterpret_cast<DLGPROC>(proc), reinterpret_cast<LPARAM>(param));
}

bool WsEndDialog(NativeWindow dialog, intptr_t result)
{
    return EndDialog(H(dialog), result) != 0;
}

bool WsSetDlgItemText(NativeWindow dialog, int itemId, const std::string& text)
{
    return SetDlgItemTextW(H(dialog), itemId, WideFromGbk(text).c_str()) != 0;
}

std::string WsGetDlgItemText(NativeWindow dialog, int itemId, size_t maxBytes)
{
    HWND item = GetDlgItem(H(dialog), itemId);
    int length = item ? GetWindowTextLengthW(item) : 0;
    if (length <= 0)
        return std::string();
    std::vector<wchar_t> wide(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(item, wide.data(), length + 1);
    int n = WideCharToMultiByte(936, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1)
        return std::string();
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(936, 0, wide.data(), -1, &out[0], n, nullptr, nullptr);
    out.resize(static_cast<size_t>(n - 1));
    if (out.size() > maxBytes) {
        size_t cut = 0;
        while (cut < maxBytes) {
            size_t step = static_cast<unsigned char>(out[cut]) >= 0x81 ? 2 : 1;
            if (cut + step > maxBytes)
                break;
            cut += step;
        }
        out.resize(cut);
    }
    return out;
}

bool WsIsDlgButtonChecked(NativeWindow dialog, int itemId)
{
    return IsDlgButtonChecked(H(dialog), itemId) == BST_CHECKED;
}

void WsCheckDlgButton(NativeWindow dialog, int itemId, bool checked)
{
    CheckDlgButton(H(dialog), itemId, checked ? BST_CHECKED : BST_UNCHECKED);
}

intptr_t WsSendDialogMessage(NativeWindow dialog, unsigned msg, WParam wParam, LParam lParam)
{
    return SendMessageW(H(dialog), msg, wParam, lParam);
}

void WsSetDialogScript(DialogScript) { }

namespace {
    std::atomic<DWORD> messageThread { 0 };
}

bool WsWaitForMessage(uint32_t timeoutMs)
{
    DWORD expected = 0;
    messageThread.compare_exchange_strong(expected, GetCurrentThreadId());
    DWORD r = MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return r == WAIT_OBJECT_0;
}

void WsWakeMessageWait()
{
    DWORD thread = messageThread.load();
    if (thread)
        PostThreadMessageA(thread, WM_NULL, 0, 0);
}

void WsSetDialogUserData(NativeWindow dialog, void* data)
{
    SetWindowLongPtrA(H(dialog), DWLP_USER, reinterpret_cast<LONG_PTR>(data));
}

void* WsGetDialogUserData(NativeWindow dialog)
{
    return reinterpret_cast<void*>(GetWindowLongPtrA(H(dialog), DWLP_USER));
}

int WsMessageBox(NativeWindow owner, const char* text, const char* caption, unsigned flags)
{
    std::wstring t = WideFromGbk(text ? text : "");
    std::wstring c = WideFromGbk(caption ? caption : "");
    return MessageBoxW(H(owner), t.c_str(), caption ? c.c_str() : nullptr, flags);
}

bool WsPresentsDirtyRect()
{
    return LayeredUpdateIndirect() != nullptr;
}

bool WsPresentLayered(NativeWindow window, const DibSurface& canvas, int x, int y, int w, int h, int srcX, int srcY,
    const WindowRect* dirty)
{
    UpdateLayeredWindowFn update = LayeredUpdate();
    UpdateLayeredWindowIndirectFn indirect = dirty ? LayeredUpdateIndirect() : nullptr;
    if ((!update && !indirect) || !canvas.Valid())
        return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, static_cast<HBITMAP>(canvas.bitmap));
    POINT position = { x, y };
    SIZE size = { w, h };
    POINT source = { srcX, srcY };
    BLENDFUNCTION blend = { AC_SRC_OVER, 0, 255, AC_SRC_ALPHA };
    BOOL ok;
    if (indirect) {
        RECT part = { dirty->left, dirty->top, dirty->right, dirty->bottom };
        UPDATELAYEREDWINDOWINFO info = {};
        info.cbSize = sizeof info;
        info.hdcDst = screen;
        info.pptDst = &position;
        info.psize = &size;
        info.hdcSrc = memory;
        info.pptSrc = &source;
        info.pblend = &blend;
        info.dwFlags = ULW_ALPHA;
        info.prcDirty = &part;
        ok = indirect(H(window), &info);
    } else {
        ok = update(H(window), screen, &position, &size, memory, &source, 0, &blend, ULW_ALPHA);
    }
    GdiFlush();
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ok != 0;
}

void WsCopyToClient(NativeWindow window, const DibSurface& canvas)
{
    if (!canvas.Valid())
        return;
    HDC dc = GetDC(H(window));
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, static_cast<HBITMAP>(canvas.bitmap));
    BitBlt(dc, 0, 0, canvas.width, canvas.height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(H(window), dc);
}

NativeInstance WsModuleInstance()
{
    return GetModuleHandleA(nullptr);
}

bool WsOleInitialize()
{
    return SUCCEEDED(OleInitialize(nullptr));
}

void WsOleUninitialize()
{
    OleUninitialize();
}

NativeModule WsLoadLibrary(const char* name)
{
    return LoadLibraryA(name);
}

void WsFreeLibrary(NativeModule module)
{
    if (module)
        FreeLibrary(static_cast<HMODULE>(module));
}

SimulatedWindowStats WsSimulatedStats(NativeWindow)
{
    return SimulatedWindowStats();
}

void WsSimulateScreenSize(int, int) { }

int WsSimulatedMessageBoxes(const char** lastText)
{
    if (lastText)
        *lastText = nullptr;
    return 0;
}

} // namespace zdl
