// Entry point of zdl.exe. The application object exists before WinMain
// runs; RunEntryPoint does the rest (OLE, the rich edit library, start-up,
// the message loop).
#include "app/RuleDlg.h"
#include "app/SampleApp.h"

#include <windows.h>

namespace {
zdl::CSampleApp theApp;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    zdl::SetLicencePageFactory(zdl::MakeLicencePage);
    return zdl::RunEntryPoint(instance, commandLine, showCommand);
}
