#include "platform/ShellPlatform.h"

namespace zdl {

namespace {
    ShellPlatform* installedShell = nullptr;
}

ShellPlatform& GetShellPlatform()
{
    return installedShell ? *installedShell : SystemShellPlatform();
}

ShellPlatform* SetShellPlatform(ShellPlatform* platform)
{
    ShellPlatform* previous = installedShell;
    installedShell = platform;
    return previous;
}

} // namespace zdl
