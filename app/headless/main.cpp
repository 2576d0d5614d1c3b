// zdl-headless: downloads the game client into a folder without a window.
//   zdl-headless <install folder> [options]   (see HeadlessDownloader::Usage)
// Exit codes: 0 complete, 1 usage, 2 no core program or source address,
// 3 the core could not be started, 4 time limit, 130 interrupted (Ctrl-C).
#include "app/headless/HeadlessDownloader.h"
#include "platform/Console.h"
#include "platform/Socket.h"

#include <cstdio>

int main(int argc, char** argv)
{
    zdl::HeadlessOptions options;
    std::string error;
    if (!zdl::HeadlessDownloader::ParseArguments(argc, argv, &options, &error)) {
        std::fprintf(stderr, "zdl-headless: %s\n%s", error.c_str(), zdl::HeadlessDownloader::Usage());
        return zdl::kHeadlessUsage;
    }
    if (!zdl::StandardOutputIsTerminal())
        options.lineMode = true;
    // On a terminal the core's own messages would break the progress line.
    if (!options.lineMode && options.coreLogFile.empty()) {
        std::string folder = options.installDir;
        while (folder.size() > 1 && (folder.back() == '/' || folder.back() == '\\'))
            folder.pop_back();
        options.coreLogFile = folder + ".core.log";
    }
    zdl::StartSocketLayer();
    zdl::WatchConsoleInterrupt();
    // On a terminal each tick rewrites the one progress line.
    auto output = [](const std::string& text, bool refresh) {
        if (refresh)
            std::fputs("\r\x1b[K", stdout);
        std::fputs(text.c_str(), stdout);
        std::fflush(stdout);
    };
    auto lineOutput = [](const std::string& text, bool) {
        std::fputs(text.c_str(), stdout);
        if (text.empty() || text.back() != '\n')
            std::fputc('\n', stdout);
        std::fflush(stdout);
    };
    zdl::HeadlessDownloader downloader(options,
        options.lineMode ? zdl::HeadlessDownloader::Output(lineOutput) : zdl::HeadlessDownloader::Output(output),
        [] { return zdl::ConsoleInterruptRequested(); });
    return downloader.Run();
}
