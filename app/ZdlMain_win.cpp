// Entry point of zdl.exe: the download page with the licence window over
// it. The application object, made with the installer's pages, exists
// before WinMain runs; RunEntryPoint does the rest (OLE, the rich edit
// library, start-up, the message loop).
#include "app/SampleApp.h"

#include <windows.h>

namespace {
zdl::CSampleApp theApp { zdl::PageEnvironment() };
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    return zdl::RunEntryPoint(instance, commandLine, showCommand);
}
