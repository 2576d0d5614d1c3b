#include "app/SkinDialog.h"

#include "app/Window.h"
#include "platform/DeviceContext.h"

namespace zdl {

CSDialog::CSDialog() = default;
CSDialog::~CSDialog() = default;

void CSDialog::OnOtherMessage(unsigned) { }
void CSDialog::OnCommand(int) { }

void CSDialog::OnPaint()
{
    CSPaintDC paint(dialog);
}

bool CSDialog::OnInitDialog()
{
    return true;
}

void CSDialog::OnClose() { }
void CSDialog::OnDestroy() { }
void CSDialog::OnMove(int, int) { }

intptr_t CSDialog::OnNcHitTest(int, int)
{
    return 0;
}

intptr_t CSDialog::OnLButtonDown(int, int, WParam)
{
    return 0;
}

intptr_t CSDialog::OnLButtonUp(int, int, WParam)
{
    return 0;
}

intptr_t CSDialog::OnMouseMove(int, int, WParam)
{
    return 0;
}

intptr_t CSDialog::OnLButtonDblClk(int, int, WParam)
{
    return 0;
}

intptr_t CSDialog::OnCtlColor(WParam, LParam, int)
{
    return 0;
}

// The dialog is modal: EndDialog alone ends the modal loop and destroys the
// window with it. Destroying it directly as well would end the loop without
// its result (DialogBox would report 0, or -1 during WM_INITDIALOG).
void CSDialog::CloseNow()
{
    OnClose();
    WsEndDialog(dialog, 1);
}

intptr_t CSDialog::DialogProc(unsigned msg, WParam wParam, LParam lParam)
{
    int lo = LowWord(static_cast<uintptr_t>(lParam));
    int hi = HighWord(static_cast<uintptr_t>(lParam));
    switch (msg) {
    case WM_DESTROY:
        OnDestroy();
        return 1;
    case WM_MOVE:
        OnMove(lo, hi);
        return 1;
    case WM_PAINT:
        OnPaint();
        return 1;
    case WM_CLOSE:
        CloseNow();
        return 1;
    case WM_NCHITTEST:
        return OnNcHitTest(lo, hi);
    case WM_INITDIALOG:
        if (!OnInitDialog())
            CloseNow();
        return 1;
    case WM_COMMAND:
        OnCommand(LowWord(wParam));
        return 1;
    case WM_LBUTTONDOWN:
        return OnLButtonDown(lo, hi, wParam);
    case WM_LBUTTONUP:
        return OnLButtonUp(lo, hi, wParam);
    case WM_MOUSEMOVE:
        return OnMouseMove(lo, hi, wParam);
    case WM_LBUTTONDBLCLK:
        return OnLButtonDblClk(lo, hi, wParam);
    default:
        if (msg == WM_VSCROLL || (msg >= WM_CTLCOLORMSGBOX && msg <= WM_CTLCOLORSTATIC))
            return OnCtlColor(wParam, lParam, static_cast<int>(msg) - WM_CTLCOLORMSGBOX);
        OnOtherMessage(msg);
        return 0;
    }
}

intptr_t CSDialog::DoModal(int templateId, NativeWindow parent)
{
    return WsDialogBox(SkinInstance(), templateId, parent, SkinDialogProc, this);
}

intptr_t ZDL_CALLBACK SkinDialogProc(NativeWindow handle, unsigned msg, WParam wParam, LParam lParam)
{
    if (msg == WM_INITDIALOG) {
        CSDialog* self = reinterpret_cast<CSDialog*>(lParam);
        if (!self)
            return 0;
        self->dialog = handle;
        WsSetDialogUserData(handle, self);
        return self->DialogProc(msg, wParam, lParam);
    }
    CSDialog* self = static_cast<CSDialog*>(WsGetDialogUserData(handle));
    return self ? self->DialogProc(msg, wParam, lParam) : 0;
}

} // namespace zdl
