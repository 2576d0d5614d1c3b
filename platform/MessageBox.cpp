#include "platform/MessageBox.h"

#include "platform/WindowSystem.h"

#include <utility>

namespace zdl {

namespace {
    MessageBoxHook& Hook()
    {
        static MessageBoxHook hook;
        return hook;
    }
} // namespace

int ShowMessageBox(NativeWindow owner, const char* text, const char* caption, unsigned flags)
{
    if (Hook())
        return Hook()(owner, text ? text : "", caption, flags);
    return WsMessageBox(owner, text, caption, flags);
}

MessageBoxHook SetMessageBoxHook(MessageBoxHook hook)
{
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
