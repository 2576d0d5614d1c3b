// Entry point of zdl.exe: the download page with the licence window over
// it. The application object exists before WinMain runs; RunEntryPoint
// does the rest (OLE, the rich edit library, start-up, the message loop).
#include "app/BeginDlg.h"
#include "app/RuleDlg.h"
#include "app/SampleApp.h"

#include <windows.h>

namespace {
zdl::CSampleApp theApp;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    zdl::SetMainPageFactory(zdl::MakeDownloadPage);
    zdl::SetLicencePageFactory(zdl::MakeLicencePage);
    return zdl::RunEntryPoint(instance, commandLine, showCommand);
}
