// Win32 constants shared by the portable code: window messages, virtual keys,
// mouse key flags, DrawText format bits, window styles, cursors, message box
// flags and the font creation values the skin uses. The values are Win32's
// own; this header lets the portable toolkit (and its Linux build) speak the
// same message language without including <windows.h>.
//
// Every name is a macro defined only when <windows.h> has not already defined
// it, so a Windows source file may include both in either order.
// ZDL_WINDEFS_LIST repeats every name with its value once more: the Windows
// build checks it against <windows.h> (platform/win32/WinDefsCheck_win.cpp)
// and the native tests check it against the macros below.
#pragma once

#include <cstdint>

namespace zdl {

// Message parameters with the widths Win32 gives them (pointer-sized).
using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using LResult = std::intptr_t;
using ColorRef = std::uint32_t; // 0x00BBGGRR
using HResult = std::int32_t;

// The calling convention of procedures the system calls back (window and
// dialog procedures): CALLBACK, which is stdcall on 32-bit Windows (the
// callee pops its arguments) and the one convention everywhere else.
#if defined(_WIN32) && !defined(_WIN64)
#define ZDL_CALLBACK __stdcall
#else
#define ZDL_CALLBACK
#endif

// Packing helpers with Win32's semantics.
constexpr ColorRef MakeRgb(int r, int g, int b)
{
    return static_cast<ColorRef>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int LowWord(std::uintptr_t v)
{
    return static_cast<int>(v & 0xFFFF);
}
constexpr int HighWord(std::uintptr_t v)
{
    return static_cast<int>((v >> 16) & 0xFFFF);
}
constexpr LParam MakeLParam(int lo, int hi)
{
    return static_cast<LParam>(static_cast<std::uint32_t>((lo & 0xFFFF) | ((hi & 0xFFFF) << 16)));
}

// Status codes of the toolkit's factory and container operations.
constexpr HResult kStatusInvalidArg = static_cast<HResult>(0x80070057u); // E_INVALIDARG
constexpr HResult kStatusOutOfMemory = static_cast<HResult>(0x8007000Eu); // E_OUTOFMEMORY
constexpr HResult kStatusNoInterface = static_cast<HResult>(0x80004002u); // E_NOINTERFACE
constexpr HResult kStatusFail = static_cast<HResult>(0x80004005u); // E_FAIL

} // namespace zdl

#define ZDL_WINDEFS_LIST(X)                                                                                            \
    X(WM_NULL, 0x0000)                                                                                                 \
    X(WM_CREATE, 0x0001)                                                                                               \
    X(WM_DESTROY, 0x0002)                                                                                              \
    X(WM_MOVE, 0x0003)                                                                                                 \
    X(WM_SIZE, 0x0005)                                                                                                 \
    X(WM_ACTIVATE, 0x0006)                                                                                             \
    X(WM_SETFOCUS, 0x0007)                                                                                             \
    X(WM_KILLFOCUS, 0x0008)                                                                                            \
    X(WM_PAINT, 0x000F)                                                                                                \
    X(WM_CLOSE, 0x0010)                                                                                                \
    X(WM_SYSCOMMAND, 0x0112)                                                                                           \
    X(SC_MINIMIZE, 0xF020)                                                                                             \
    X(WM_QUIT, 0x0012)                                                                                                 \
    X(WM_ERASEBKGND, 0x0014)                                                                                           \
    X(WM_SHOWWINDOW, 0x0018)                                                                                           \
    X(WM_ACTIVATEAPP, 0x001C)                                                                                          \
    X(WM_SETCURSOR, 0x0020)                                                                                            \
    X(WM_NCCREATE, 0x0081)                                                                                             \
    X(WM_NCDESTROY, 0x0082)                                                                                            \
    X(WM_NCHITTEST, 0x0084)                                                                                            \
    X(WM_KEYDOWN, 0x0100)                                                                                              \
    X(WM_KEYUP, 0x0101)                                                                                                \
    X(WM_CHAR, 0x0102)                                                                                                 \
    X(WM_SYSKEYDOWN, 0x0104)                                                                                           \
    X(WM_SYSKEYUP, 0x0105)                                                                                             \
    X(WM_SYSCHAR, 0x0106)                                                                                              \
    X(WM_IME_CHAR, 0x0286)                                                                                             \
    X(WM_INITDIALOG, 0x0110)                                                                                           \
    X(WM_COMMAND, 0x0111)                                                                                              \
    X(WM_TIMER, 0x0113)                                                                                                \
    X(WM_VSCROLL, 0x0115)                                                                                              \
    X(WM_INITMENUPOPUP, 0x0117)                                                                                        \
    X(WM_CTLCOLORMSGBOX, 0x0132)                                                                                       \
    X(WM_CTLCOLOREDIT, 0x0133)                                                                                         \
    X(WM_CTLCOLORLISTBOX, 0x0134)                                                                                      \
    X(WM_CTLCOLORBTN, 0x0135)                                                                                          \
    X(WM_CTLCOLORDLG, 0x0136)                                                                                          \
    X(WM_CTLCOLORSCROLLBAR, 0x0137)                                                                                    \
    X(WM_CTLCOLORSTATIC, 0x0138)                                                                                       \
    X(WM_MOUSEFIRST, 0x0200)                                                                                           \
    X(WM_MOUSEMOVE, 0x0200)                                                                                            \
    X(WM_LBUTTONDOWN, 0x0201)                                                                                          \
    X(WM_LBUTTONUP, 0x0202)                                                                                            \
    X(WM_LBUTTONDBLCLK, 0x0203)                                                                                        \
    X(WM_RBUTTONDOWN, 0x0204)                                                                                          \
    X(WM_RBUTTONUP, 0x0205)                                                                                            \
    X(WM_RBUTTONDBLCLK, 0x0206)                                                                                        \
    X(WM_MBUTTONDOWN, 0x0207)                                                                                          \
    X(WM_MBUTTONUP, 0x0208)                                                                                            \
    X(WM_MBUTTONDBLCLK, 0x0209)                                                                                        \
    X(WM_MOUSEWHEEL, 0x020A)                                                                                           \
    X(WM_XBUTTONDOWN, 0x020B)                                                                                          \
    X(WM_XBUTTONUP, 0x020C)                                                                                            \
    X(WM_CAPTURECHANGED, 0x0215)                                                                                       \
    X(WM_MOUSELEAVE, 0x02A3)                                                                                           \
    X(WM_CUT, 0x0300)                                                                                                  \
    X(WM_COPY, 0x0301)                                                                                                 \
    X(WM_PASTE, 0x0302)                                                                                                \
    X(WM_USER, 0x0400)                                                                                                 \
    X(VK_LBUTTON, 0x01)                                                                                                \
    X(VK_RBUTTON, 0x02)                                                                                                \
    X(VK_BACK, 0x08)                                                                                                   \
    X(VK_TAB, 0x09)                                                                                                    \
    X(VK_RETURN, 0x0D)                                                                                                 \
    X(VK_SHIFT, 0x10)                                                                                                  \
    X(VK_CONTROL, 0x11)                                                                                                \
    X(VK_MENU, 0x12)                                                                                                   \
    X(VK_ESCAPE, 0x1B)                                                                                                 \
    X(VK_SPACE, 0x20)                                                                                                  \
    X(VK_PRIOR, 0x21)                                                                                                  \
    X(VK_NEXT, 0x22)                                                                                                   \
    X(VK_END, 0x23)                                                                                                    \
    X(VK_HOME, 0x24)                                                                                                   \
    X(VK_LEFT, 0x25)                                                                                                   \
    X(VK_UP, 0x26)                                                                                                     \
    X(VK_RIGHT, 0x27)                                                                                                  \
    X(VK_DOWN, 0x28)                                                                                                   \
    X(VK_INSERT, 0x2D)                                                                                                 \
    X(VK_DELETE, 0x2E)                                                                                                 \
    X(MK_LBUTTON, 0x0001)                                                                                              \
    X(MK_RBUTTON, 0x0002)                                                                                              \
    X(MK_SHIFT, 0x0004)                                                                                                \
    X(MK_CONTROL, 0x0008)                                                                                              \
    X(MK_MBUTTON, 0x0010)                                                                                              \
    X(DT_TOP, 0x00000000)                                                                                              \
    X(DT_LEFT, 0x00000000)                                                                                             \
    X(DT_CENTER, 0x00000001)                                                                                           \
    X(DT_RIGHT, 0x00000002)                                                                                            \
    X(DT_VCENTER, 0x00000004)                                                                                          \
    X(DT_BOTTOM, 0x00000008)                                                                                           \
    X(DT_WORDBREAK, 0x00000010)                                                                                        \
    X(DT_SINGLELINE, 0x00000020)                                                                                       \
    X(DT_EXPANDTABS, 0x00000040)                                                                                       \
    X(DT_NOCLIP, 0x00000100)                                                                                           \
    X(DT_CALCRECT, 0x00000400)                                                                                         \
    X(DT_NOPREFIX, 0x00000800)                                                                                         \
    X(DT_END_ELLIPSIS, 0x00008000)                                                                                     \
    X(WS_POPUP, 0x80000000)                                                                                            \
    X(WS_VISIBLE, 0x10000000)                                                                                          \
    X(WS_CHILD, 0x40000000)                                                                                            \
    X(WS_OVERLAPPEDWINDOW, 0x00CF0000)                                                                                 \
    X(WS_EX_WINDOWEDGE, 0x00000100)                                                                                    \
    X(WS_EX_CLIENTEDGE, 0x00000200)                                                                                    \
    X(WS_EX_CONTROLPARENT, 0x00010000)                                                                                 \
    X(WS_EX_STATICEDGE, 0x00020000)                                                                                    \
    X(WS_EX_LAYERED, 0x00080000)                                                                                       \
    X(WS_EX_TOOLWINDOW, 0x00000080)                                                                                    \
    X(CW_USEDEFAULT, 0x80000000)                                                                                       \
    X(SW_HIDE, 0)                                                                                                      \
    X(SW_SHOWNORMAL, 1)                                                                                                \
    X(SW_SHOW, 5)                                                                                                      \
    X(MB_OK, 0x00000000)                                                                                               \
    X(MB_OKCANCEL, 0x00000001)                                                                                         \
    X(MB_YESNO, 0x00000004)                                                                                            \
    X(MB_ICONERROR, 0x00000010)                                                                                        \
    X(MB_ICONQUESTION, 0x00000020)                                                                                     \
    X(MB_ICONWARNING, 0x00000030)                                                                                      \
    X(MB_ICONINFORMATION, 0x00000040)                                                                                  \
    X(IDOK, 1)                                                                                                         \
    X(IDCANCEL, 2)                                                                                                     \
    X(IDYES, 6)                                                                                                        \
    X(IDNO, 7)                                                                                                         \
    X(TRANSPARENT, 1)                                                                                                  \
    X(OPAQUE, 2)                                                                                                       \
    X(BLACK_BRUSH, 4)                                                                                                  \
    X(COLOR_WINDOW, 5)                                                                                                 \
    X(ANSI_CHARSET, 0)                                                                                                 \
    X(GB2312_CHARSET, 134)                                                                                             \
    X(OUT_CHARACTER_PRECIS, 2)                                                                                         \
    X(CLIP_CHARACTER_PRECIS, 1)                                                                                        \
    X(DEFAULT_QUALITY, 0)                                                                                              \
    X(PROOF_QUALITY, 2)                                                                                                \
    X(FF_SWISS, 0x20)                                                                                                  \
    X(FF_MODERN, 0x30)                                                                                                 \
    X(FW_NORMAL, 400)                                                                                                  \
    X(FW_BOLD, 700)                                                                                                    \
    X(FW_HEAVY, 900)

// Messages
#ifndef WM_NULL
#define WM_NULL 0x0000
#endif
#ifndef WM_CREATE
#define WM_CREATE 0x0001
#endif
#ifndef WM_DESTROY
#define WM_DESTROY 0x0002
#endif
#ifndef WM_MOVE
#define WM_MOVE 0x0003
#endif
#ifndef WM_SIZE
#define WM_SIZE 0x0005
#endif
#ifndef WM_ACTIVATE
#define WM_ACTIVATE 0x0006
#endif
#ifndef WM_SETFOCUS
#define WM_SETFOCUS 0x0007
#endif
#ifndef WM_KILLFOCUS
#define WM_KILLFOCUS 0x0008
#endif
#ifndef WM_PAINT
#define WM_PAINT 0x000F
#endif
#ifndef WM_CLOSE
#define WM_CLOSE 0x0010
#endif
#ifndef WM_SYSCOMMAND
#define WM_SYSCOMMAND 0x0112
#endif
#ifndef SC_MINIMIZE
#define SC_MINIMIZE 0xF020
#endif
#ifndef WM_QUIT
#define WM_QUIT 0x0012
#endif
#ifndef WM_ERASEBKGND
#define WM_ERASEBKGND 0x0014
#endif
#ifndef WM_SHOWWINDOW
#define WM_SHOWWINDOW 0x0018
#endif
#ifndef WM_ACTIVATEAPP
#define WM_ACTIVATEAPP 0x001C
#endif
#ifndef WM_SETCURSOR
#define WM_SETCURSOR 0x0020
#endif
#ifndef WM_NCCREATE
#define WM_NCCREATE 0x0081
#endif
#ifndef WM_NCDESTROY
#define WM_NCDESTROY 0x0082
#endif
#ifndef WM_NCHITTEST
#define WM_NCHITTEST 0x0084
#endif
#ifndef WM_KEYDOWN
#define WM_KEYDOWN 0x0100
#endif
#ifndef WM_KEYUP
#define WM_KEYUP 0x0101
#endif
#ifndef WM_CHAR
#define WM_CHAR 0x0102
#endif
#ifndef WM_SYSKEYDOWN
#define WM_SYSKEYDOWN 0x0104
#endif
#ifndef WM_SYSKEYUP
#define WM_SYSKEYUP 0x0105
#endif
#ifndef WM_SYSCHAR
#define WM_SYSCHAR 0x0106
#endif
#ifndef WM_IME_CHAR
#define WM_IME_CHAR 0x0286
#endif
#ifndef WM_INITDIALOG
#define WM_INITDIALOG 0x0110
#endif
#ifndef WM_COMMAND
#define WM_COMMAND 0x0111
#endif
#ifndef WM_TIMER
#define WM_TIMER 0x0113
#endif
#ifndef WM_VSCROLL
#define WM_VSCROLL 0x0115
#endif
#ifndef WM_INITMENUPOPUP
#define WM_INITMENUPOPUP 0x0117
#endif
#ifndef WM_CTLCOLORMSGBOX
#define WM_CTLCOLORMSGBOX 0x0132
#endif
#ifndef WM_CTLCOLOREDIT
#define WM_CTLCOLOREDIT 0x0133
#endif
#ifndef WM_CTLCOLORLISTBOX
#define WM_CTLCOLORLISTBOX 0x0134
#endif
#ifndef WM_CTLCOLORBTN
#define WM_CTLCOLORBTN 0x0135
#endif
#ifndef WM_CTLCOLORDLG
#define WM_CTLCOLORDLG 0x0136
#endif
#ifndef WM_CTLCOLORSCROLLBAR
#define WM_CTLCOLORSCROLLBAR 0x0137
#endif
#ifndef WM_CTLCOLORSTATIC
#define WM_CTLCOLORSTATIC 0x0138
#endif
#ifndef WM_MOUSEFIRST
#define WM_MOUSEFIRST 0x0200
#endif
#ifndef WM_MOUSEMOVE
#define WM_MOUSEMOVE 0x0200
#endif
#ifndef WM_LBUTTONDOWN
#define WM_LBUTTONDOWN 0x0201
#endif
#ifndef WM_LBUTTONUP
#define WM_LBUTTONUP 0x0202
#endif
#ifndef WM_LBUTTONDBLCLK
#define WM_LBUTTONDBLCLK 0x0203
#endif
#ifndef WM_RBUTTONDOWN
#define WM_RBUTTONDOWN 0x0204
#endif
#ifndef WM_RBUTTONUP
#define WM_RBUTTONUP 0x0205
#endif
#ifndef WM_RBUTTONDBLCLK
#define WM_RBUTTONDBLCLK 0x0206
#endif
#ifndef WM_MBUTTONDOWN
#define WM_MBUTTONDOWN 0x0207
#endif
#ifndef WM_MBUTTONUP
#define WM_MBUTTONUP 0x0208
#endif
#ifndef WM_MBUTTONDBLCLK
#define WM_MBUTTONDBLCLK 0x0209
#endif
#ifndef WM_MOUSEWHEEL
#define WM_MOUSEWHEEL 0x020A
#endif
#ifndef WM_XBUTTONDOWN
#define WM_XBUTTONDOWN 0x020B
#endif
#ifndef WM_XBUTTONUP
#define WM_XBUTTONUP 0x020C
#endif
#ifndef WM_CAPTURECHANGED
#define WM_CAPTURECHANGED 0x0215
#endif
#ifndef WM_MOUSELEAVE
#define WM_MOUSELEAVE 0x02A3
#endif
#ifndef WM_CUT
#define WM_CUT 0x0300
#endif
#ifndef WM_COPY
#define WM_COPY 0x0301
#endif
#ifndef WM_PASTE
#define WM_PASTE 0x0302
#endif
#ifndef WM_USER
#define WM_USER 0x0400
#endif

// Virtual keys
#ifndef VK_LBUTTON
#define VK_LBUTTON 0x01
#endif
#ifndef VK_RBUTTON
#define VK_RBUTTON 0x02
#endif
#ifndef VK_BACK
#define VK_BACK 0x08
#endif
#ifndef VK_TAB
#define VK_TAB 0x09
#endif
#ifndef VK_RETURN
#define VK_RETURN 0x0D
#endif
#ifndef VK_SHIFT
#define VK_SHIFT 0x10
#endif
#ifndef VK_CONTROL
#define VK_CONTROL 0x11
#endif
#ifndef VK_MENU
#define VK_MENU 0x12
#endif
#ifndef VK_ESCAPE
#define VK_ESCAPE 0x1B
#endif
#ifndef VK_SPACE
#define VK_SPACE 0x20
#endif
#ifndef VK_PRIOR
#define VK_PRIOR 0x21
#endif
#ifndef VK_NEXT
#define VK_NEXT 0x22
#endif
#ifndef VK_END
#define VK_END 0x23
#endif
#ifndef VK_HOME
#define VK_HOME 0x24
#endif
#ifndef VK_LEFT
#define VK_LEFT 0x25
#endif
#ifndef VK_UP
#define VK_UP 0x26
#endif
#ifndef VK_RIGHT
#define VK_RIGHT 0x27
#endif
#ifndef VK_DOWN
#define VK_DOWN 0x28
#endif
#ifndef VK_INSERT
#define VK_INSERT 0x2D
#endif
#ifndef VK_DELETE
#define VK_DELETE 0x2E
#endif

// Mouse key flags
#ifndef MK_LBUTTON
#define MK_LBUTTON 0x0001
#endif
#ifndef MK_RBUTTON
#define MK_RBUTTON 0x0002
#endif
#ifndef MK_SHIFT
#define MK_SHIFT 0x0004
#endif
#ifndef MK_CONTROL
#define MK_CONTROL 0x0008
#endif
#ifndef MK_MBUTTON
#define MK_MBUTTON 0x0010
#endif

// DrawText format bits
#ifndef DT_TOP
#define DT_TOP 0x00000000
#endif
#ifndef DT_LEFT
#define DT_LEFT 0x00000000
#endif
#ifndef DT_CENTER
#define DT_CENTER 0x00000001
#endif
#ifndef DT_RIGHT
#define DT_RIGHT 0x00000002
#endif
#ifndef DT_VCENTER
#define DT_VCENTER 0x00000004
#endif
#ifndef DT_BOTTOM
#define DT_BOTTOM 0x00000008
#endif
#ifndef DT_WORDBREAK
#define DT_WORDBREAK 0x00000010
#endif
#ifndef DT_SINGLELINE
#define DT_SINGLELINE 0x00000020
#endif
#ifndef DT_EXPANDTABS
#define DT_EXPANDTABS 0x00000040
#endif
#ifndef DT_NOCLIP
#define DT_NOCLIP 0x00000100
#endif
#ifndef DT_CALCRECT
#define DT_CALCRECT 0x00000400
#endif
#ifndef DT_NOPREFIX
#define DT_NOPREFIX 0x00000800
#endif
#ifndef DT_END_ELLIPSIS
#define DT_END_ELLIPSIS 0x00008000
#endif

// Window styles
#ifndef WS_POPUP
#define WS_POPUP 0x80000000u
#endif
#ifndef WS_VISIBLE
#define WS_VISIBLE 0x10000000
#endif
#ifndef WS_CHILD
#define WS_CHILD 0x40000000
#endif
#ifndef WS_OVERLAPPEDWINDOW
#define WS_OVERLAPPEDWINDOW 0x00CF0000
#endif
#ifndef WS_EX_WINDOWEDGE
#define WS_EX_WINDOWEDGE 0x00000100
#endif
#ifndef WS_EX_CLIENTEDGE
#define WS_EX_CLIENTEDGE 0x00000200
#endif
#ifndef WS_EX_CONTROLPARENT
#define WS_EX_CONTROLPARENT 0x00010000
#endif
#ifndef WS_EX_STATICEDGE
#define WS_EX_STATICEDGE 0x00020000
#endif
#ifndef WS_EX_LAYERED
#define WS_EX_LAYERED 0x00080000
#endif
#ifndef WS_EX_TOOLWINDOW
#define WS_EX_TOOLWINDOW 0x00000080
#endif
#ifndef CW_USEDEFAULT
#define CW_USEDEFAULT 0x80000000u
#endif

// Show commands
#ifndef SW_HIDE
#define SW_HIDE 0
#endif
#ifndef SW_SHOWNORMAL
#define SW_SHOWNORMAL 1
#endif
#ifndef SW_SHOW
#define SW_SHOW 5
#endif

// Message boxes
#ifndef MB_OK
#define MB_OK 0x00000000
#endif
#ifndef MB_OKCANCEL
#define MB_OKCANCEL 0x00000001
#endif
#ifndef MB_YESNO
#define MB_YESNO 0x00000004
#endif
#ifndef MB_ICONERROR
#define MB_ICONERROR 0x00000010
#endif
#ifndef MB_ICONQUESTION
#define MB_ICONQUESTION 0x00000020
#endif
#ifndef MB_ICONWARNING
#define MB_ICONWARNING 0x00000030
#endif
#ifndef MB_ICONINFORMATION
#define MB_ICONINFORMATION 0x00000040
#endif
#ifndef IDOK
#define IDOK 1
#endif
#ifndef IDCANCEL
#define IDCANCEL 2
#endif
#ifndef IDYES
#define IDYES 6
#endif
#ifndef IDNO
#define IDNO 7
#endif

// Background modes and stock objects
#ifndef TRANSPARENT
#define TRANSPARENT 1
#endif
#ifndef OPAQUE
#define OPAQUE 2
#endif
#ifndef BLACK_BRUSH
#define BLACK_BRUSH 4
#endif
#ifndef COLOR_WINDOW
#define COLOR_WINDOW 5
#endif

// Character sets, precisions, qualities, pitch and family
#ifndef ANSI_CHARSET
#define ANSI_CHARSET 0
#endif
#ifndef GB2312_CHARSET
#define GB2312_CHARSET 134
#endif
#ifndef OUT_CHARACTER_PRECIS
#define OUT_CHARACTER_PRECIS 2
#endif
#ifndef CLIP_CHARACTER_PRECIS
#define CLIP_CHARACTER_PRECIS 1
#endif
#ifndef DEFAULT_QUALITY
#define DEFAULT_QUALITY 0
#endif
#ifndef PROOF_QUALITY
#define PROOF_QUALITY 2
#endif
#ifndef FF_SWISS
#define FF_SWISS 0x20
#endif
#ifndef FF_MODERN
#define FF_MODERN 0x30
#endif
#ifndef FW_NORMAL
#define FW_NORMAL 400
#endif
#ifndef FW_BOLD
#define FW_BOLD 700
#endif
#ifndef FW_HEAVY
#define FW_HEAVY 900
#endif
