// Windows run-time rules for splitting a command line, shared by both
// platforms so a command line means the same program and arguments natively.
#include "platform/Process.h"

namespace zdl {

static bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine)
{
    std::vector<std::string> args;
    size_t i = 0;
    const size_t n = commandLine.size();

    // The program name: quotes group, backslashes are plain characters.
    std::string program;
    bool quoted = false;
    while (i < n && (quoted || !IsBlank(commandLine[i]))) {
        if (commandLine[i] == '"')
            quoted = !quoted;
        else
            program += commandLine[i];
        ++i;
    }
    args.push_back(program);

    for (;;) {
        while (i < n && IsBlank(commandLine[i]))
            ++i;
        if (i >= n)
            break;
        std::string arg;
        quoted = false;
        while (i < n && (quoted || !IsBlank(commandLine[i]))) {
            size_t slashes = 0;
            while (i < n && commandLine[i] == '\\') {
                ++slashes;
                ++i;
            }
            if (i < n && commandLine[i] == '"') {
                // 2n backslashes + quote: n backslashes and a quote toggle;
                // 2n+1: n backslashes and a literal quote.
                arg.append(slashes / 2, '\\');
                if (slashes % 2 == 1) {
                    arg += '"';
                } else if (quoted && i + 1 < n && commandLine[i + 1] == '"') {
                    arg += '"'; // "" inside quotes is one literal quote
                    ++i;
                } else {
                    quoted = !quoted;
                }
                ++i;
            } else {
                arg.append(slashes, '\\');
                if (i < n && (quoted || !IsBlank(commandLine[i]))) {
                    // A GBK lead byte takes the next byte with it (the ANSI
                    // run-time does so under code page 936): a second byte
                    // 0x5C is no backslash, even before a quote.
                    const unsigned char c = static_cast<unsigned char>(commandLine[i]);
                    if (c >= 0x81 && c <= 0xFE && i + 1 < n)
                        arg += commandLine[i++];
                    arg += commandLine[i];
                    ++i;
                }
            }
        }
        args.push_back(arg);
    }
    return args;
}

} // namespace zdl
