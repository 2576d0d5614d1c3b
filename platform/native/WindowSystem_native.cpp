// The window system simulated in memory for the Linux build. Windows are
// numbered records that belong to a registered class; creating, destroying
// and sending call the class's procedure synchronously with the messages
// Windows would send, posted messages wait in one queue, and a layered frame
// is counted instead of shown. There is no screen: its size is fixed.
#include "platform/WindowSystem.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace zdl {

namespace {

    int screenWidth = 1024;
    int screenHeight = 768;

    struct SimClass {
        WindowProcFn proc = nullptr;
    };

    struct SimWindow {
        std::string className;
        WindowProcFn proc = nullptr;
        void* userData = nullptr;
        void* dialogUserData = nullptr;
        uint32_t exStyle = 0;
        WindowRect rect;
        bool visible = false;
        SimulatedWindowStats stats;
        // Dialogs only.
        DialogProcFn dialogProc = nullptr;
        bool ended = false;
        intptr_t result = 0;
        std::map<int, std::string> itemTexts;
        std::map<int, bool> itemChecks;
    };

    struct SimState {
        std::map<std::string, SimClass> classes;
        std::map<uintptr_t, SimWindow> windows;
        uintptr_t nextHandle = 0x1000;
        std::deque<NativeMessage> queue;
        int messageBoxes = 0;
        std::string lastMessageBox;
        DialogScript dialogScript;
    };

    SimState& State()
    {
        static SimState state;
        return state;
    }

    SimWindow* Find(NativeWindow window)
    {
        auto it = State().windows.find(reinterpret_cast<uintptr_t>(window));
        return it == State().windows.end() ? nullptr : &it->second;
    }

    // CREATESTRUCT as the procedure receives it.
    struct SimCreateStruct {
        void* createParams;
        NativeInstance instance;
        NativeMenu menu;
        NativeWindow parent;
        int cy, cx, y, x;
        int32_t style;
        const char* name;
        const char* className;
        uint32_t exStyle;
    };

    LResult Call(NativeWindow window, unsigned msg, WParam wParam, LParam lParam)
    {
        SimWindow* w = Find(window);
        if (!w || !w->proc)
            return 0;
        return w->proc(window, msg, wParam, lParam);
    }

} // namespace

bool WsClassRegistered(NativeInstance, const char* className)
{
    return className && State().classes.count(className) != 0;
}

bool WsRegisterClass(NativeInstance, const char* className, WindowProcFn proc, NativeCursor, NativeBrush, NativeIcon)
{
    if (!className || !proc || State().classes.count(className))
        return false;
    State().classes[className].proc = proc;
    return true;
}

NativeWindow WsCreateWindow(const WindowCreateParams& p)
{
    if (!p.className)
        return nullptr;
    auto cls = State().classes.find(p.className);
    if (cls == State().classes.end())
        return nullptr;
    NativeWindow handle = reinterpret_cast<NativeWindow>(State().nextHandle);
    State().nextHandle += 4;
    SimWindow& w = State().windows[reinterpret_cast<uintptr_t>(handle)];
    w.className = p.className;
    w.proc = cls->second.proc;
    w.exStyle = p.exStyle;
    int x = static_cast<uint32_t>(p.x) == CW_USEDEFAULT ? 0 : p.x;
    int y = static_cast<uint32_t>(p.y) == CW_USEDEFAULT ? 0 : p.y;
    int width = static_cast<uint32_t>(p.width) == CW_USEDEFAULT ? 640 : p.width;
    int height = static_cast<uint32_t>(p.height) == CW_USEDEFAULT ? 480 : p.height;
    w.rect = WindowRect { x, y, x + width, y + height };
    SimCreateStruct cs { p.param, p.instance, p.menu, p.parent, height, width, y, x, static_cast<int32_t>(p.style),
        p.windowName, p.className, p.exStyle };
    LParam lp = reinterpret_cast<LParam>(&cs);
    if (Call(handle, WM_NCCREATE, 0, lp) == 0 || Call(handle, WM_CREATE, 0, lp) == -1) {
        WsDestroyWindow(handle);
        return nullptr;
    }
    return handle;
}

bool WsDestroyWindow(NativeWindow window)
{
    if (!Find(window))
        return false;
    Call(window, WM_DESTROY, 0, 0);
    Call(window, WM_NCDESTROY, 0, 0);
    State().windows.erase(reinterpret_cast<uintptr_t>(window));
    return true;
}

bool WsIsWindow(NativeWindow window)
{
    return Find(window) != nullptr;
}

LResult WsDefWindowProc(NativeWindow window, unsigned msg, WParam, LParam)
{
    switch (msg) {
    case WM_NCCREATE:
        return 1;
    case WM_CLOSE:
        WsDestroyWindow(window);
        return 0;
    default:
        return 0;
    }
}

LResult WsSendMessage(NativeWindow window, unsigned msg, WParam wParam, LParam lParam)
{
    return Call(window, msg, wParam, lParam);
}

bool WsPostMessage(NativeWindow window, unsigned msg, WParam wParam, LParam lParam)
{
    State().queue.push_back(NativeMessage { window, msg, wParam, lParam });
    return true;
}

void WsPostQuitMessage(int exitCode)
{
    State().queue.push_back(NativeMessage { nullptr, WM_QUIT, static_cast<WParam>(exitCode), 0 });
}

void WsSetWindowUserData(NativeWindow window, void* data)
{
    if (SimWindow* w = Find(window))
        w->userData = data;
}

void* WsGetWindowUserData(NativeWindow window)
{
    SimWindow* w = Find(window);
    return w ? w->userData : nullptr;
}

bool WsShowWindow(NativeWindow window, int showCommand)
{
    SimWindow* w = Find(window);
    if (!w)
        return false;
    bool was = w->visible;
    w->visible = showCommand != SW_HIDE;
    return was;
}

bool WsBringToFront(NativeWindow window)
{
    SimWindow* w = Find(window);
    return w && w->visible;
}

uint32_t WsGetExStyle(NativeWindow window)
{
    SimWindow* w = Find(window);
    return w ? w->exStyle : 0;
}

void WsSetExStyle(NativeWindow window, uint32_t exStyle)
{
    if (SimWindow* w = Find(window))
        w->exStyle = exStyle;
}

bool WsGetWindowRect(NativeWindow window, WindowRect* rect)
{
    SimWindow* w = Find(window);
    if (!w)
        return false;
    *rect = w->rect;
    return true;
}

bool WsAdjustWindowRectEx(WindowRect*, uint32_t, uint32_t)
{
    return true; // no frames are drawn here
}

void WsScreenSize(int* width, int* height)
{
    *width = screenWidth;
    *height = screenHeight;
}

int WsMenuItemCount(NativeMenu)
{
    return 0; // no menus here
}

int WsMenuItemId(NativeMenu, int)
{
    return -1;
}

NativeCursor WsArrowCursor()
{
    return nullptr;
}

NativeBrush WsStockBrush(int)
{
    return nullptr;
}

NativeBrush WsSysColorBrush(int)
{
    return nullptr;
}

NativeIcon WsLoadIcon(NativeInstance, int)
{
    return nullptr;
}

bool WsMessageWaiting()
{
    return !State().queue.empty();
}

int WsGetMessage(NativeMessage* message)
{
    if (State().queue.empty())
        return -1; // nothing will ever arrive: there is no input here
    *message = State().queue.front();
    State().queue.pop_front();
    return message->message == WM_QUIT ? 0 : 1;
}

void WsDispatchMessage(const NativeMessage& message)
{
    Call(message.window, message.message, message.wParam, message.lParam);
}

// A simulated table maps keys to commands; translating sends WM_COMMAND
// with 1 in the high word, as Windows does for accelerators.
struct SimAccel {
    std::map<int, int> commands;
};

NativeAccel WsCreateAcceleratorTable(const AcceleratorEntry* entries, int count)
{
    if (count <= 0)
        return nullptr;
    auto* table = new SimAccel;
    for (int i = 0; i < count; ++i)
        table->commands[entries[i].virtualKey] = entries[i].commandId;
    return table;
}

void WsDestroyAcceleratorTable(NativeAccel table)
{
    delete static_cast<SimAccel*>(table);
}

bool WsTranslateAccelerator(NativeWindow window, NativeAccel table, const NativeMessage& message)
{
    if (!table || (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN))
        return false;
    auto* accel = static_cast<SimAccel*>(table);
    auto it = accel->commands.find(static_cast<int>(message.wParam));
    if (it == accel->commands.end())
        return false;
    Call(window, WM_COMMAND, (1u << 16) | static_cast<unsigned>(it->second & 0xFFFF), 0);
    return true;
}

namespace {
    struct WaitState {
        std::mutex lock;
        std::condition_variable wake;
        bool woken = false;
    };
    WaitState& Waiter()
    {
        static WaitState state;
        return state;
    }
} // namespace

bool WsWaitForMessage(uint32_t timeoutMs)
{
    if (!State().queue.empty())
        return true;
    WaitState& w = Waiter();
    std::unique_lock<std::mutex> lock(w.lock);
    bool early = w.wake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return w.woken; });
    w.woken = false;
    return early;
}

void WsWakeMessageWait()
{
    WaitState& w = Waiter();
    {
        std::lock_guard<std::mutex> lock(w.lock);
        w.woken = true;
    }
    w.wake.notify_all();
}

void WsSleep(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

intptr_t WsDialogBox(NativeInstance, int templateId, NativeWindow, DialogProcFn proc, void* param)
{
    if (!proc)
        return -1;
    SimState& st = State();
    NativeWindow handle = reinterpret_cast<NativeWindow>(st.nextHandle++);
    SimWindow& record = st.windows[reinterpret_cast<uintptr_t>(handle)];
    record.className = "#32770";
    record.dialogProc = proc;
    record.visible = true;
    proc(handle, WM_INITDIALOG, 0, reinterpret_cast<LParam>(param));
    DialogScript script = st.dialogScript;
    if (script && Find(handle) && !Find(handle)->ended)
        script(handle, templateId);
    if (Find(handle) && !Find(handle)->ended)
        proc(handle, WM_CLOSE, 0, 0);
    SimWindow* w = Find(handle);
    intptr_t result = w && w->ended ? w->result : 0;
    proc(handle, WM_DESTROY, 0, 0);
    st.windows.erase(reinterpret_cast<uintptr_t>(handle));
    return result;
}

intptr_t WsDialogBoxIndirect(NativeInstance instance, const void*, NativeWindow parent, DialogProcFn proc, void* param)
{
    return WsDialogBox(instance, 0, parent, proc, param);
}

bool WsEndDialog(NativeWindow dialog, intptr_t result)
{
    SimWindow* w = Find(dialog);
    if (!w || !w->dialogProc)
        return false;
    w->ended = true;
    w->result = result;
    return true;
}

bool WsSetDlgItemText(NativeWindow dialog, int itemId, const std::string& text)
{
    SimWindow* w = Find(dialog);
    if (!w)
        return false;
    w->itemTexts[itemId] = text;
    return true;
}

std::string WsGetDlgItemText(NativeWindow dialog, int itemId, size_t maxBytes)
{
    SimWindow* w = Find(dialog);
    if (!w)
        return std::string();
    std::string text = w->itemTexts[itemId];
    if (text.size() > maxBytes) {
        size_t cut = 0;
        while (cut < maxBytes) {
            size_t step = (static_cast<unsigned char>(text[cut]) >= 0x81 && cut + 1 < text.size()) ? 2 : 1;
            if (cut + step > maxBytes)
                break;
            cut += step;
        }
        text.resize(cut);
    }
    return text;
}

bool WsIsDlgButtonChecked(NativeWindow dialog, int itemId)
{
    SimWindow* w = Find(dialog);
    return w && w->itemChecks[itemId];
}

void WsCheckDlgButton(NativeWindow dialog, int itemId, bool checked)
{
    if (SimWindow* w = Find(dialog))
        w->itemChecks[itemId] = checked;
}

intptr_t WsSendDialogMessage(NativeWindow dialog, unsigned msg, WParam wParam, LParam lParam)
{
    SimWindow* w = Find(dialog);
    if (!w || !w->dialogProc)
        return 0;
    return w->dialogProc(dialog, msg, wParam, lParam);
}

void WsSetDialogScript(DialogScript script)
{
    State().dialogScript = std::move(script);
}

void WsSetDialogUserData(NativeWindow dialog, void* data)
{
    if (SimWindow* w = Find(dialog))
        w->dialogUserData = data;
}

void* WsGetDialogUserData(NativeWindow dialog)
{
    SimWindow* w = Find(dialog);
    return w ? w->dialogUserData : nullptr;
}

int WsMessageBox(NativeWindow, const char* text, const char*, unsigned)
{
    ++State().messageBoxes;
    State().lastMessageBox = text ? text : "";
    return IDOK;
}

bool WsPresentsDirtyRect()
{
    return true;
}

bool WsPresentLayered(
    NativeWindow window, const DibSurface& canvas, int x, int y, int w, int h, int, int, const WindowRect* dirty)
{
    SimWindow* win = Find(window);
    if (!win || !canvas.Valid())
        return false;
    static int windowsPresented = 0;
    if (win->stats.presentedFrames++ == 0)
        win->stats.firstPresentOrder = ++windowsPresented;
    win->stats.lastX = x;
    win->stats.lastY = y;
    win->rect = WindowRect { x, y, x + w, y + h };
    win->stats.lastDirty = dirty ? *dirty : WindowRect { 0, 0, w, h };
    return true;
}

void WsCopyToClient(NativeWindow, const DibSurface&) { }

NativeInstance WsModuleInstance()
{
    return nullptr;
}

bool WsOleInitialize()
{
    return true;
}

void WsOleUninitialize() { }

NativeModule WsLoadLibrary(const char*)
{
    return nullptr;
}

void WsFreeLibrary(NativeModule) { }

SimulatedWindowStats WsSimulatedStats(NativeWindow window)
{
    SimWindow* w = Find(window);
    return w ? w->stats : SimulatedWindowStats();
}

void WsSimulateScreenSize(int width, int height)
{
    screenWidth = width;
    screenHeight = height;
}

int WsSimulatedMessageBoxes(const char** lastText)
{
    if (lastText)
        *lastText = State().lastMessageBox.c_str();
    return State().messageBoxes;
}

} // namespace zdl
