// The Win32 user-interface services behind UiPlatform.
#include "platform/UiPlatform.h"

#include <windows.h>

#include <cstring>

namespace zdl {

namespace {

    class Win32UiPlatform : public UiPlatform {
    public:
        UiPoint CursorPos(NativeWindow window) override
        {
            POINT p = { 0, 0 };
            GetCursorPos(&p);
            if (window)
                ScreenToClient(static_cast<HWND>(window), &p);
            return UiPoint { p.x, p.y };
        }
        void SetCapture(NativeWindow window) override { ::SetCapture(static_cast<HWND>(window)); }
        void ReleaseCapture() override { ::ReleaseCapture(); }
        NativeWindow GetCapture() override { return ::GetCapture(); }
        void SetCursorShape(CursorShape shape) override
        {
            LPCSTR id = IDC_ARROW;
            switch (shape) {
            case CursorShape::kArrow:
                id = IDC_ARROW;
                break;
            case CursorShape::kHand:
                id = IDC_HAND;
                break;
            case CursorShape::kIBeam:
                id = IDC_IBEAM;
                break;
            case CursorShape::kWait:
                id = IDC_WAIT;
                break;
            }
            SetCursor(LoadCursorA(nullptr, id));
        }
        bool IsKeyDown(int vk) override
        {
            // Mouse buttons are read from the device: a button released outside
            // every window of this thread never reaches its queue's key state.
            if (vk == VK_LBUTTON || vk == VK_RBUTTON || vk == VK_MBUTTON) {
                int physical = vk;
                if (GetSystemMetrics(SM_SWAPBUTTON) && vk != VK_MBUTTON)
                    physical = vk == VK_LBUTTON ? VK_RBUTTON : VK_LBUTTON;
                return (GetAsyncKeyState(physical) & 0x8000) != 0;
            }
            return (GetKeyState(vk) & 0x8000) != 0;
        }
        uint32_t TickCount() override { return GetTickCount(); }
        bool SetClipboardText(NativeWindow owner, const std::string& text) override
        {
            if (!OpenClipboard(static_cast<HWND>(owner)))
                return false;
            EmptyClipboard();
            bool ok = false;
            HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
            if (memory) {
                char* p = static_cast<char*>(GlobalLock(memory));
                if (p) {
                    std::memcpy(p, text.c_str(), text.size() + 1);
                    GlobalUnlock(memory);
                    ok = SetClipboardData(CF_TEXT, memory) != nullptr;
                }
                if (!ok)
                    GlobalFree(memory);
            }
            CloseClipboard();
            return ok;
        }
        bool GetClipboardText(NativeWindow owner, std::string* text) override
        {
            if (!IsClipboardFormatAvailable(CF_TEXT) || !OpenClipboard(static_cast<HWND>(owner)))
                return false;
            bool ok = false;
            HANDLE data = GetClipboardData(CF_TEXT);
            if (data) {
                const char* p = static_cast<const char*>(GlobalLock(data));
                if (p) {
                    // The clipboard's memory is at least as large as GlobalSize;
                    // never read past it even if the text lacks its terminator.
                    size_t limit = GlobalSize(data);
                    text->assign(p, strnlen(p, limit));
                    GlobalUnlock(data);
                    ok = true;
                }
            }
            CloseClipboard();
            return ok;
        }
        NativeWindow RootWindow(NativeWindow window) override
        {
            HWND root = window ? GetAncestor(static_cast<HWND>(window), GA_ROOT) : nullptr;
            return root ? root : window;
        }
        uint32_t CaretBlinkTime() override
        {
            UINT ms = GetCaretBlinkTime();
            // INFINITE (no blinking) and failure (0) both mean a steady caret.
            return ms == 0 ? 0xFFFFFFFFu : ms;
        }
    };

} // namespace

UiPlatform& SystemUiPlatform()
{
    static Win32UiPlatform platform;
    return platform;
}

} // namespace zdl
