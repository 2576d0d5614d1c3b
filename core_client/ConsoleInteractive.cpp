#include "core_client/ConsoleInteractive.h"

namespace zdl {

ConsoleInteractive::ConsoleInteractive(ChannelSide side)
    : side_(side)
    , childInRead_(StandardInputHandle())
    , childOutWrite_(StandardOutputHandle())
    , childErrWrite_(StandardErrorHandle())
{
}

ConsoleInteractive::~ConsoleInteractive()
{
    Close();
}

bool ConsoleInteractive::OpenPipes()
{
    OsHandle h[6] = { kNoOsHandle, kNoOsHandle, kNoOsHandle, kNoOsHandle, kNoOsHandle, kNoOsHandle };
    bool ok = CreateInheritablePipe(&h[0], &h[1]) && CreateInheritablePipe(&h[2], &h[3])
        && CreateInheritablePipe(&h[4], &h[5]);
    if (!ok) {
        for (OsHandle x : h)
            CloseOsHandle(x);
        return false;
    }
    childInRead_ = h[0];
    childInWrite_ = h[1];
    childOutRead_ = h[2];
    childOutWrite_ = h[3];
    childErrRead_ = h[4];
    childErrWrite_ = h[5];
    // The parent's own ends stay out of the child, or the child would hold
    // its input open and the reader would never see the output end.
    SetHandleInheritable(childInWrite_, false);
    SetHandleInheritable(childOutRead_, false);
    SetHandleInheritable(childErrRead_, false);
    pipesOpen_ = true;
    return true;
}

bool ConsoleInteractive::Open()
{
    if (side_ == ChannelSide::kParent && !pipesOpen_ && !OpenPipes())
        return false;
    if (reader_)
        return true;
    reader_ = std::make_unique<NonblockStdin>(side_ == ChannelSide::kParent ? childOutRead_ : childInRead_);
    return reader_->Start();
}

bool ConsoleInteractive::FillStartupInfo(ChildStdHandles* handles) const
{
    if (side_ != ChannelSide::kParent || !pipesOpen_)
        return false;
    handles->input = childInRead_;
    handles->output = childOutWrite_;
    handles->error = childErrWrite_;
    return true;
}

void ConsoleInteractive::ReleaseChildEnds()
{
    if (side_ != ChannelSide::kParent || !pipesOpen_)
        return;
    CloseOsHandle(childInRead_);
    CloseOsHandle(childOutWrite_);
    CloseOsHandle(childErrWrite_);
    childInRead_ = childOutWrite_ = childErrWrite_ = kNoOsHandle;
}

bool ConsoleInteractive::Send(const std::string& data)
{
    OsHandle target = side_ == ChannelSide::kParent ? childInWrite_ : childOutWrite_;
    if (target == kNoOsHandle)
        return false;
    return WriteHandle(target, data.data(), data.size());
}

bool ConsoleInteractive::ReceiveLine(std::string& line)
{
    return reader_ && reader_->TakeLine(line);
}

void ConsoleInteractive::Close()
{
    if (reader_) {
        // A reader that could not be stopped may still read its handle: that
        // one pipe end is then left open rather than closed under it.
        if (!reader_->Stop() && side_ == ChannelSide::kParent)
            childOutRead_ = kNoOsHandle;
        reader_.reset();
    }
    if (side_ == ChannelSide::kParent && pipesOpen_) {
        ReleaseChildEnds();
        CloseOsHandle(childInWrite_);
        CloseOsHandle(childOutRead_);
        CloseOsHandle(childErrRead_);
        childInWrite_ = childOutRead_ = childErrRead_ = kNoOsHandle;
        pipesOpen_ = false;
    }
}

} // namespace zdl
