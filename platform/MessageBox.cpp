#include "platform/MessageBox.h"

#include "platform/WindowSystem.h"

#include <mutex>
#include <utility>

namespace zdl {

namespace {
    MessageBoxHook& Hook()
    {
        static MessageBoxHook hook;
        return hook;
    }
    std::mutex& HookLock()
    {
        static std::mutex lock;
        return lock;
    }
} // namespace

int ShowMessageBox(NativeWindow owner, const char* text, const char* caption, unsigned flags)
{
    MessageBoxHook hook;
    {
        std::lock_guard<std::mutex> guard(HookLock());
        hook = Hook();
    }
    if (hook)
        return hook(owner, text ? text : "", caption, flags);
    return WsMessageBox(owner, text, caption, flags);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
    std::lock_guard<std::mutex> guard(HookLock());
    MessageBoxHook previous = std::move(Hook());
    Hook() = std::move(hook);
    return previous;
}

ScopedMessageBoxRecorder::ScopedMessageBoxRecorder(int answer)
    : answer(answer)
{
    previous_ = SetMessageBoxHook([this](NativeWindow owner, const char* text, const char* caption, unsigned flags) {
        Box box;
        box.owner = owner;
        box.text = text;
        box.hasCaption = caption != nullptr;
        box.caption = caption ? caption : "";
        box.flags = flags;
        boxes.push_back(std::move(box));
        return this->answer;
    });
}

ScopedMessageBoxRecorder::~ScopedMessageBoxRecorder()
{
    SetMessageBoxHook(std::move(previous_));
}

} // namespace zdl
