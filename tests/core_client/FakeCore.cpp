// A stand-in download core for the core client's tests: it takes the core's
// command line, connects to "-InteractivePort" (or talks over its standard
// streams without one) and answers the installer's commands with status
// lines according to a scenario named by the environment:
//   ZDL_FAKE_CORE        normal (default) | quit17 | silent | noconnect | crlf
//                        | diskfull (normal, plus a WriteFile error)
//   ZDL_FAKE_CORE_LOG    file that receives "arg:<argument>" and "cmd:<line>"
//   ZDL_FAKE_CORE_STEPS  stats until the download completes (normal), 5
// It ends on "quit", when the installer closes the connection, or after
// kLifetimeMs.
#include "core_client/ConsoleInteractive.h"
#include "core_client/NetworkInteractive.h"
#include "platform/Socket.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr int kLifetimeMs = 30000;

std::string Env(const char* name, const char* fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

void Log(const std::string& text)
{
    std::string path = Env("ZDL_FAKE_CORE_LOG", "");
    if (path.empty())
        return;
    if (FILE* f = std::fopen(path.c_str(), "ab")) {
        std::fprintf(f, "%s\n", text.c_str());
        std::fclose(f);
    }
}

} // namespace

int main(int argc, char** argv)
{
    unsigned port = 0;
    for (int i = 1; i < argc; ++i) {
        Log(std::string("arg:") + argv[i]);
        if (std::strcmp(argv[i], "-InteractivePort") == 0 && i + 1 < argc)
            port = static_cast<unsigned>(std::atoi(argv[i + 1]));
    }
    const std::string mode = Env("ZDL_FAKE_CORE", "normal");
    const int steps = std::atoi(Env("ZDL_FAKE_CORE_STEPS", "5").c_str());
    const auto start = std::chrono::steady_clock::now();
    auto elapsedMs = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    };
    if (mode == "noconnect") {
        while (elapsedMs() < kLifetimeMs)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return 0;
    }

    std::unique_ptr<zdl::IInteractive> channel;
    zdl::NetworkInteractive* net = nullptr;
    if (port != 0) {
        zdl::StartSocketLayer();
        auto n = std::make_unique<zdl::NetworkInteractive>(static_cast<uint16_t>(port));
        net = n.get();
        channel = std::move(n);
    } else {
        channel = std::make_unique<zdl::ConsoleInteractive>(zdl::ChannelSide::kChild);
    }
    if (!channel->Open()) {
        Log("open failed");
        return 3;
    }
    Log("connected");

    const std::string eol = mode == "crlf" ? "\r\n" : "\n";
    int stats = 0, fileAsks = 0;
    auto say = [&](const std::string& kv) { return channel->Send("[fake] " + kv + eol); };
    while (elapsedMs() < kLifetimeMs) {
        std::string line;
        if (!channel->ReceiveLine(line)) {
            if (net && net->PeerClosed())
                return 0; // the installer went away
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        Log("cmd:" + line);
        if (line == "quit")
            return 0;
        if (mode == "silent")
            continue;
        bool ok = true;
        if (line == "stat") {
            ++stats;
            if (mode == "quit17" && stats >= 2) {
                say("P2PState=17");
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                return 0;
            }
            const bool done = stats >= steps;
            const int percent = done ? 100 : stats * 100 / (steps > 0 ? steps : 1);
            ok = say(std::string("P2PState=") + (done ? "15" : "14")) && say("Percentage=" + std::to_string(percent))
                && say("DownloadBandWidth=800.5") && say("UploadBandWidth=12")
                && say("IncompleteByte=" + std::to_string((100 - percent) * 10000));
            if (ok && mode == "diskfull")
                ok = say("Error=WriteFile");
        } else if (line == "get tb") {
            ok = say("TotalByte=1000000");
        } else if (line == "get qf 0") {
            ++fileAsks;
            ok = say(fileAsks <= 2 ? "FileName=:" : "FileName=zpc.exe");
        }
        if (!ok)
            return 4; // the installer went away
    }
    return 0;
}
