#include "platform/Resources.h"

#include "platform/win32/Gbk_win.h"

#include <windows.h>

namespace zdl {

bool FindResourceBlob(const char* type, int id, ResourceBlob* out)
{
    HMODULE self = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(self, MAKEINTRESOURCEA(id), type);
    if (!info)
        return false;
    HGLOBAL handle = LoadResource(self, info);
    if (!handle)
        return false;
    out->data = static_cast<const unsigned char*>(LockResource(handle));
    out->size = SizeofResource(self, info);
    return out->data != nullptr;
}

std::string LoadResourceString(int id)
{
    // String-table entries are short; 4096 bytes is far above any we ship.
    // Read wide and made GBK: the ANSI variant would convert through the
    // system's code page and garble Chinese on a Western system.
    wchar_t buffer[4096];
    int n = LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(id), buffer, 4096);
    return n > 0 ? GbkFromWide(std::wstring(buffer, static_cast<size_t>(n))) : std::string();
}

} // namespace zdl
