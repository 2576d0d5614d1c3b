// Cost of one status poll against a live download core: ticks per second of
// a tight loop, CPU time per tick, and the slowest tick (a tick must never
// wait for the core). The core is started exactly as the installer starts
// it, from a copy of its program in a work folder.
//
//   core_client_poll_tick --core <zdl-core> --work <folder>
//                              [--source <description URL>] [--seconds n]
#include "core_client/CoreSession.h"
#include "platform/Socket.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using namespace zdl;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv)
{
    std::string core, work, source = "http://127.0.0.1:1/zphdownload_setup.exe.data";
    double seconds = 3;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--core"))
            core = argv[i + 1];
        else if (!std::strcmp(argv[i], "--work"))
            work = argv[i + 1];
        else if (!std::strcmp(argv[i], "--source"))
            source = argv[i + 1];
        else if (!std::strcmp(argv[i], "--seconds"))
            seconds = std::atof(argv[i + 1]);
    }
    if (core.empty() || work.empty()) {
        std::fprintf(stderr, "usage: %s --core <zdl-core> --work <folder> [--source URL] [--seconds n]\n", argv[0]);
        return 2;
    }
    std::filesystem::create_directories(work + "/install");
    std::ifstream f(core, std::ios::binary);
    const std::string program((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());

    CoreClientEnvironment env = DefaultCoreClientEnvironment();
    env.findCoreProgram = [&](ResourceBlob* out) {
        out->data = reinterpret_cast<const unsigned char*>(program.data());
        out->size = program.size();
        return !program.empty();
    };
    env.loadString = [&](int id) -> std::string {
        return id == kResSourceUrl ? source : id == kResCoreSuffix ? "r" : "Bench";
    };
    env.tempFolder = [&] { return work + "/"; };
    StartSocketLayer();
    CoreSession session(env);
    CoreStartRequest request;
    request.installDir = work + "/install/";
    request.maxDownloadSpeed = 2000; // keep the download going through the run
    request.share = false; // a measurement, not a member of the local network
    if (!session.StartCore(request)) {
        std::fprintf(stderr, "bench: core could not be started\n");
        return 1;
    }

    // Wait until the core answers.
    CoreStatus st;
    std::string value;
    const auto ready = Clock::now() + std::chrono::seconds(10);
    while (!session.GetStatusValue("P2PState", value) && Clock::now() < ready) {
        session.PollCoreStatus(st);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (value.empty()) {
        std::fprintf(stderr, "bench: the core never answered\n");
        session.StopCore();
        return 1;
    }

    struct Tick {
        double wallUs;
        double cpuUs;
    };
    std::vector<Tick> ticks;
    const auto begin = Clock::now();
    const std::clock_t cpuBegin = std::clock();
    const auto end = begin + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        const auto t0 = Clock::now();
        const std::clock_t c0 = std::clock();
        session.PollCoreStatus(st);
        const double cpu = double(std::clock() - c0) * 1e6 / CLOCKS_PER_SEC;
        ticks.push_back({ std::chrono::duration<double, std::micro>(Clock::now() - t0).count(), cpu });
    }
    const double cpuUs = double(std::clock() - cpuBegin) * 1e6 / CLOCKS_PER_SEC;
    const double wall = std::chrono::duration<double>(Clock::now() - begin).count();

    // Paced like the page (faster, to gather samples): the core keeps up, so
    // each tick finds about one answer's worth of lines.
    constexpr int kPacedTicks = 100;
    double pacedCpu = 0, pacedMaxCpu = 0, pacedMaxWall = 0;
    for (int i = 0; i < kPacedTicks; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto t0 = Clock::now();
        const std::clock_t c0 = std::clock();
        session.PollCoreStatus(st);
        const double cpu = double(std::clock() - c0) * 1e6 / CLOCKS_PER_SEC;
        pacedCpu += cpu;
        pacedMaxCpu = std::max(pacedMaxCpu, cpu);
        pacedMaxWall = std::max(pacedMaxWall, std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    session.StopCore();

    const size_t n = ticks.size();
    size_t overMs = 0, overMsBusy = 0;
    double maxCpu = 0;
    for (const Tick& t : ticks) {
        maxCpu = std::max(maxCpu, t.cpuUs);
        if (t.wallUs > 1000) {
            ++overMs;
            overMsBusy += t.cpuUs > t.wallUs / 2; // spent working, not waiting
        }
    }
    std::sort(ticks.begin(), ticks.end(), [](const Tick& a, const Tick& b) { return a.wallUs < b.wallUs; });
    std::printf("poll ticks against a live core (state %d, %.1f %% done)\n", st.p2pState, st.percentage);
    std::printf("  ticks per second (tight loop) %10.0f\n", double(n) / wall);
    std::printf("  CPU per tick                 %10.1f us\n", cpuUs / double(n));
    std::printf("  most CPU in one tick         %10.1f us\n", maxCpu);
    std::printf("  wall per tick median         %10.1f us\n", ticks[n / 2].wallUs);
    std::printf("  wall per tick 99th pct       %10.1f us\n", ticks[n * 99 / 100].wallUs);
    std::printf(
        "  slowest tick                 %10.1f us wall, %.1f us CPU\n", ticks[n - 1].wallUs, ticks[n - 1].cpuUs);
    std::printf("  ticks over 1 ms              %10zu of %zu (%zu of them busy draining a backlog of\n"
                "                               answers, the rest descheduled)\n",
        overMs, n, overMsBusy);
    std::printf("  paced every 20 ms: CPU per tick %.1f us, most %.1f us, slowest wall %.1f us\n",
        pacedCpu / kPacedTicks, pacedMaxCpu, pacedMaxWall);
    return 0;
}
