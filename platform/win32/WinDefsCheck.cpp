// Compile-time proof that the constants the portable code uses
// (platform/WinDefs.h) carry exactly the values of <windows.h>.
#include <windows.h>

#include "platform/WinDefs.h"

#include <cstdint>
#include <type_traits>

#define ZDL_CHECK_WINDEF(name, value)                                                                                  \
    static_assert(                                                                                                     \
        static_cast<std::uint32_t>(name) == static_cast<std::uint32_t>(value), #name " differs from <windows.h>");
ZDL_WINDEFS_LIST(ZDL_CHECK_WINDEF)
#undef ZDL_CHECK_WINDEF

static_assert(sizeof(zdl::WParam) == sizeof(WPARAM) && std::is_unsigned<WPARAM>::value,
    "WParam must be pointer-sized and unsigned like WPARAM");
static_assert(sizeof(zdl::LParam) == sizeof(LPARAM) && std::is_signed<LPARAM>::value,
    "LParam must be pointer-sized and signed like LPARAM");
static_assert(sizeof(zdl::LResult) == sizeof(LRESULT), "LResult must match LRESULT");
static_assert(zdl::kStatusInvalidArg == E_INVALIDARG, "E_INVALIDARG");
static_assert(zdl::kStatusOutOfMemory == E_OUTOFMEMORY, "E_OUTOFMEMORY");
static_assert(zdl::kStatusNoInterface == E_NOINTERFACE, "E_NOINTERFACE");
static_assert(zdl::kStatusFail == E_FAIL, "E_FAIL");
