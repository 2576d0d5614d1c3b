// Entry point of zdl.exe while the skinned user interface is being built:
// it proves the executable and its resources are whole, says so on standard
// output and exits 0.
#include "platform/Resources.h"

#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    zdl::ResourceBlob archive, core;
    bool haveArchive = zdl::FindResourceBlob(zdl::kResTypeRcData, zdl::kResArchive, &archive);
    bool haveCore = zdl::FindResourceBlob(zdl::kResTypeProgram, zdl::kResCoreProgram, &core);
    std::string title = zdl::LoadResourceString(zdl::kResProductTitle);
    std::printf("zdl: %s; archive %s (%zu bytes), core %s (%zu bytes), source %s\n", title.c_str(),
                haveArchive ? "present" : "missing", archive.size, haveCore ? "present" : "missing",
                core.size, zdl::LoadResourceString(zdl::kResSourceUrl).c_str());
    std::printf("zdl: the window is not built yet; exiting.\n");
    std::fflush(stdout);
    return haveArchive && haveCore && !title.empty() ? 0 : 1;
}
