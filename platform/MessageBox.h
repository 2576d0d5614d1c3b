// Message boxes of the installer, with a hook so that tests answer them
// instead of blocking on a real box (natively and under Wine alike).
//
// ShowMessageBox shows the box through the window system (MessageBoxW with
// the GBK text converted, or the simulated one natively) unless a hook is
// installed; then the hook alone sees it and its return value is the
// button pressed (IDOK, IDYES, ...). Any thread may show a box (the
// download page's poll thread shows the disk-full box); the hook runs on
// the thread that asked.
#pragma once

#include "platform/UiPlatform.h"

#include <functional>
#include <string>
#include <vector>

namespace zdl {

// Shows a message box with GBK |text| and |caption| (null: no caption) and
// MB_* |flags|; returns the button pressed.
int ShowMessageBox(NativeWindow owner, const char* text, const char* caption, unsigned flags);

// Receives every box instead of the system while installed.
using MessageBoxHook = std::function<int(NativeWindow owner, const char* text, const char* caption, unsigned flags)>;

// Installs |hook| (an empty one restores the system's boxes); returns the
// previous hook.
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// For tests: records every box shown while it lives and answers each with
// |answer|; restores the previous hook when destroyed.
class ScopedMessageBoxRecorder {
public:
    struct Box {
        NativeWindow owner = nullptr;
        std::string text;
        std::string caption;
        bool hasCaption = false; // false when the caption was null
        unsigned flags = 0;
    };

    explicit ScopedMessageBoxRecorder(int answer = 1 /* IDOK */);
    ~ScopedMessageBoxRecorder();
    ScopedMessageBoxRecorder(const ScopedMessageBoxRecorder&) = delete;
    ScopedMessageBoxRecorder& operator=(const ScopedMessageBoxRecorder&) = delete;

    std::vector<Box> boxes;
    int answer;

private:
    MessageBoxHook previous_;
};

} // namespace zdl
