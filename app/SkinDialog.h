// CSDialog: a modal dialog made from a dialog template and bound to an
// object. The dialog procedure binds the object on WM_INITDIALOG (its handle
// in the object, the object in the dialog's user slot) and turns messages
// into the virtual operations below, declared in their table order. A close
// request (WM_CLOSE, or OnInitDialog refusing) runs OnClose and ends the
// modal loop with 1.
// User-interface thread only.
#pragma once

#include "platform/WindowSystem.h"

namespace zdl {

class CSDialog {
public:
    CSDialog();
    CSDialog(const CSDialog&) = delete;
    CSDialog& operator=(const CSDialog&) = delete;

    virtual ~CSDialog(); // 0
    virtual void OnOtherMessage(unsigned msg); // 1
    virtual void OnCommand(int controlId); // 2
    virtual intptr_t DialogProc(unsigned msg, WParam wParam, LParam lParam); // 3
    virtual void OnPaint(); // 4
    virtual bool OnInitDialog(); // 5
    virtual void OnClose(); // 6
    virtual void OnDestroy(); // 7
    virtual void OnMove(int x, int y); // 8
    virtual intptr_t OnNcHitTest(int x, int y); // 9
    virtual intptr_t OnLButtonDown(int x, int y, WParam keys); // 10
    virtual intptr_t OnLButtonUp(int x, int y, WParam keys); // 11
    virtual intptr_t OnMouseMove(int x, int y, WParam keys); // 12
    virtual intptr_t OnLButtonDblClk(int x, int y, WParam keys); // 13
    virtual intptr_t OnCtlColor(WParam wParam, LParam lParam, int kind); // 14

    // Runs the dialog from template |templateId| modally; returns the value
    // given to EndDialog (1 after WM_CLOSE), or -1 when it cannot be shown.
    intptr_t DoModal(int templateId, NativeWindow parent);

    NativeWindow dialog = nullptr; // bound on WM_INITDIALOG

private:
    void CloseNow();
};

// The procedure given to the dialog box with the CSDialog as its parameter.
intptr_t ZDL_CALLBACK SkinDialogProc(NativeWindow dialog, unsigned msg, WParam wParam, LParam lParam);

} // namespace zdl
