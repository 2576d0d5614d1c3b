// The small set of user-interface services the portable skin toolkit needs
// from the system: where the mouse is, who has the mouse capture, which
// cursor shape shows, whether a key is held, the millisecond tick count and
// the text clipboard.
//
// One implementation is current per process (GetUiPlatform). On Windows it
// is the Win32 one (platform/win32/UiPlatform_win.cpp); natively it is a
// TestUiPlatform, whose state a test (or the headless application) sets
// directly. Installing another one with SetUiPlatform lets a test under Wine
// drive the toolkit the same way. User-interface thread only.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace zdl {

// A native window (HWND on Windows); an opaque value elsewhere.
using NativeWindow = void*;

struct UiPoint {
    int x = 0;
    int y = 0;
};

enum class CursorShape { kArrow, kHand, kIBeam, kWait };

class UiPlatform {
public:
    virtual ~UiPlatform() = default;
    // The cursor position in |window|'s client coordinates (screen
    // coordinates when |window| is none).
    virtual UiPoint CursorPos(NativeWindow window) = 0;
    virtual void SetCapture(NativeWindow window) = 0;
    virtual void ReleaseCapture() = 0;
    virtual NativeWindow GetCapture() = 0;
    virtual void SetCursorShape(CursorShape shape) = 0;
    // True while the virtual key |vk| is held (the high bit of GetKeyState;
    // for the mouse buttons, of GetAsyncKeyState).
    virtual bool IsKeyDown(int vk) = 0;
    // Milliseconds since the system started; wraps like GetTickCount.
    virtual uint32_t TickCount() = 0;
    // GBK text on the clipboard (CF_TEXT).
    virtual bool SetClipboardText(NativeWindow owner, const std::string& text) = 0;
    virtual bool GetClipboardText(NativeWindow owner, std::string* text) = 0;
    // The top-level window that contains |window| (GetAncestor GA_ROOT);
    // the window itself where there is no hierarchy.
    virtual NativeWindow RootWindow(NativeWindow window) { return window; }
    // The caret blink period in milliseconds (GetCaretBlinkTime).
    virtual uint32_t CaretBlinkTime() { return 530; }
};

// A platform whose every answer comes from its public fields: tests set the
// cursor, keys and clock and read back capture, cursor shape and clipboard.
class TestUiPlatform : public UiPlatform {
public:
    UiPoint cursor; // reported for every window
    NativeWindow capture = nullptr;
    CursorShape cursorShape = CursorShape::kArrow;
    std::map<int, bool> keys; // vk -> held
    uint32_t ticks = 0;
    std::string clipboard;
    bool clipboardAvailable = true; // false makes clipboard calls fail
    NativeWindow clipboardOwner = nullptr; // owner of the last clipboard call
    int releaseCaptureCalls = 0;

    UiPoint CursorPos(NativeWindow) override { return cursor; }
    void SetCapture(NativeWindow window) override { capture = window; }
    void ReleaseCapture() override
    {
        capture = nullptr;
        ++releaseCaptureCalls;
    }
    NativeWindow GetCapture() override { return capture; }
    void SetCursorShape(CursorShape shape) override { cursorShape = shape; }
    bool IsKeyDown(int vk) override
    {
        auto it = keys.find(vk);
        return it != keys.end() && it->second;
    }
    uint32_t TickCount() override { return ticks; }
    bool SetClipboardText(NativeWindow owner, const std::string& text) override
    {
        clipboardOwner = owner;
        if (!clipboardAvailable)
            return false;
        clipboard = text;
        return true;
    }
    bool GetClipboardText(NativeWindow owner, std::string* text) override
    {
        clipboardOwner = owner;
        if (!clipboardAvailable)
            return false;
        *text = clipboard;
        return true;
    }
};

// The current platform: the system's own unless SetUiPlatform installed
// another. Never null.
UiPlatform& GetUiPlatform();

// Installs |platform| (not owned; must outlive its use); null restores the
// system's own. Returns the previous one.
UiPlatform* SetUiPlatform(UiPlatform* platform);

// The system's own implementation (a process-wide TestUiPlatform natively).
UiPlatform& SystemUiPlatform();

} // namespace zdl
