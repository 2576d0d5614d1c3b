// The line channel over a child process's standard streams.
//
// Parent side (the process that starts the child): Open creates three
// anonymous pipes and a NonblockStdin on the child's standard output;
// FillStartupInfo hands the child's ends to process creation, after which
// ReleaseChildEnds closes the parent's copies of them so the reader sees the
// stream end when the child exits. Child side: reads its own standard input
// and writes its own standard output.
//
// Owns the reader and every pipe end it created. ReceiveLine may be called
// from one thread while another sends.
#pragma once

#include "core_client/IInteractive.h"
#include "core_client/NonblockStdin.h"
#include "platform/Process.h"

#include <memory>

namespace zdl {

enum class ChannelSide { kChild, kParent };

class ConsoleInteractive : public IInteractive {
public:
    explicit ConsoleInteractive(ChannelSide side);
    ~ConsoleInteractive() override;
    ConsoleInteractive(const ConsoleInteractive&) = delete;
    ConsoleInteractive& operator=(const ConsoleInteractive&) = delete;

    bool Open() override;
    bool ReceiveLine(std::string& line) override;
    bool Send(const std::string& data) override;
    void Close() override;

    // Parent side: the handles the child must use as its standard streams.
    // False on the child side or before Open.
    bool FillStartupInfo(ChildStdHandles* handles) const;
    // Parent side, after the child was created: closes the child's ends.
    void ReleaseChildEnds();

private:
    bool OpenPipes();

    std::unique_ptr<NonblockStdin> reader_;
    ChannelSide side_;
    bool pipesOpen_ = false;
    OsHandle childInRead_;
    OsHandle childInWrite_ = kNoOsHandle;
    OsHandle childOutRead_ = kNoOsHandle;
    OsHandle childOutWrite_;
    OsHandle childErrRead_ = kNoOsHandle;
    OsHandle childErrWrite_;
};

} // namespace zdl
