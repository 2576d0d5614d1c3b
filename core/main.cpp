// zdl-core: the download core program. The installer starts it with the
// install folder, the server and the limits on the command line and polls
// it over a TCP line channel on 127.0.0.1 (see DownloadEngine.h for the
// phases it reports). Exit codes: 0 after "quit" or a lost channel,
// 1 when the channel cannot be opened, 2 for a bad command line, 3 after
// giving up on an unreachable server (state 17).
#include "core/CommandChannel.h"
#include "core/CoreOptions.h"
#include "core/CoreSocket.h"
#include "core/DownloadEngine.h"
#include "core/HttpTransport.h"
#include "core/StatusBoard.h"
#include "platform/Process.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace zdl;
using namespace zdl::core;

namespace {

constexpr int kConnectAttempts = 10;
constexpr int kLingerMs = 3000; // time for the installer to read state 17
constexpr int kQuitGraceMs = 900; // "quit" must end the process within a second

// The port from a command line that failed to parse, so the failure can
// still be reported on the channel.
int FindPort(const std::vector<std::string>& args)
{
    for (size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "-InteractivePort") {
            int port = std::atoi(args[i + 1].c_str());
            return port > 0 && port < 65536 ? port : 0;
        }
    return 0;
}

bool Connect(CoreSocket& socket, int port)
{
    for (int i = 0; i < kConnectAttempts; ++i) {
        if (socket.ConnectLoopback(static_cast<uint16_t>(port)))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    StatusBoard board;
    board.SetPhase(Phase::ParsePara);
    std::vector<std::string> args = ProgramArguments(argc, argv);
    CoreOptions options;
    std::string error;
    StartSocketLayer();
    CoreSocket socket;
    if (!ParseCoreOptions(args, &options, &error)) {
        std::fprintf(stderr, "zdl-core: %s\n", error.c_str());
        board.SetPhase(Phase::ParseParaError);
        int port = FindPort(args);
        if (port && Connect(socket, port))
            socket.SendAll(board.StatLines());
        return 2;
    }
    if (options.interactivePort && !Connect(socket, options.interactivePort)) {
        std::fprintf(stderr, "zdl-core: cannot connect to 127.0.0.1:%d\n", options.interactivePort);
        return 1;
    }
    if (!HttpGlobalInit()) {
        std::fprintf(stderr, "zdl-core: HTTP library failed to start\n");
        board.SetPhase(Phase::InitError);
    }

    DownloadEngine engine(options, board);
    engine.Start();
    CommandChannel channel(board);
    bool quit = false;
    bool channelLost = false;
    char buffer[1024];
    while (!quit) {
        if (socket.IsOpen()) {
            int n = socket.Receive(buffer, sizeof buffer, 100);
            if (n < 0) {
                // Nobody will ever ask again; stop cleanly rather than
                // keep the folder locked for the next installer.
                channelLost = true;
                break;
            }
            if (n > 0) {
                std::string answer = channel.Feed(buffer, static_cast<size_t>(n), &quit);
                if (!answer.empty())
                    socket.SendAll(answer);
            }
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            // A manual run without a channel ends with the download (the
            // engine would go on serving peers until told to stop).
            if (board.GetPhase() == Phase::DownloadCompleted)
                break;
        }
        if (engine.Finished() && board.GetPhase() == Phase::Quit) {
            // Tell the installer, give it time to read, and end: it starts a
            // fresh core.
            socket.SendAll(board.StatLines());
            auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLingerMs);
            while (socket.IsOpen() && !quit && std::chrono::steady_clock::now() < until) {
                int n = socket.Receive(buffer, sizeof buffer, 100);
                if (n < 0)
                    break;
                if (n > 0)
                    socket.SendAll(channel.Feed(buffer, static_cast<size_t>(n), &quit));
            }
            engine.Join();
            return 3;
        }
    }
    Phase working = board.GetPhase();
    board.SetPhase(Phase::ToQuit);
    engine.RequestStop();
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kQuitGraceMs);
    while (!engine.Finished() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!engine.Finished() && working < Phase::CreateFile) {
        // Still inside a network call before any file was touched: there is
        // nothing to save, so end now instead of waiting for the call.
        std::fprintf(stderr, "zdl-core: quitting\n");
        std::fflush(stderr);
        std::_Exit(0);
    }
    engine.Join();
    std::fprintf(stderr, channelLost ? "zdl-core: channel closed, quitting\n" : "zdl-core: quitting\n");
    return 0;
}
