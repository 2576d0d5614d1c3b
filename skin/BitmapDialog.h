// CSBitmapDialog: the page panel that every page of a top-level window
// derives from. A container placed on the window's desktop, with the
// name-to-id map its layout fills, optional dragging of the panel itself
// (unused by the installer's pages, which drag the whole window) and an
// optional child panel that it attached to the same desktop.
//
// The desktop owns the panel; the panel owns its controls and removes (and
// so deletes) its child panel when destroyed. User-interface thread only.
#pragma once

#include "skin/ControlContainer.h"

#include <map>
#include <string>

namespace zdl {

class CSUIDesktopWnd;

class CSBitmapDialog : public CSControlContainer {
public:
    CSBitmapDialog();
    ~CSBitmapDialog() override;

    bool OnMouseDown(int px, int py) override; // 7
    bool OnMouseMove(int px, int py) override; // 8
    bool OnMouseUp(int px, int py) override; // 9
    void OnCaptureLost() override; // 10
    // After every presented frame (pages keep native child windows in step).
    virtual void AfterPresent(); // 11
    // Asked before the top-level window closes.
    virtual bool CanClose(); // 12

    // The control called |name| in the layout; null when the name is unknown
    // or the control is not of |typeCode|.
    CSControl* FindControlByName(const std::string& name, int32_t typeCode) const;

    std::map<std::string, int32_t> controlIds; // layout name -> control id
    bool movable = false;
    bool dragging = false;
    int32_t dragOffsetX = 0;
    int32_t dragOffsetY = 0;
    bool hasChildPanel = false;
    CSBitmapDialog* childPanel = nullptr; // owned by the desktop
    CSUIDesktopWnd* desktop = nullptr; // not owned; set by AttachPanel

private:
    bool Inside(int px, int py) const;
};

} // namespace zdl
