// CSControlContainer: owns a list of windowless controls, routes the
// window's messages to them (focus control first, then the control under the
// pointer), tracks hover and keyboard focus, paints them in order and
// forwards their notifications to its page. Pages (CSBitmapDialog) and the
// desktop of a top-level window (CSUIDesktopWnd) are containers.
//
// The container owns its controls and its style entries; `hoverControl` and
// `tooltip` point into `controls`. Coordinates: `x`, `y` place the container
// in the window's client area; controls are relative to the container.
// User-interface thread only.
#pragma once

#include "platform/UiPlatform.h"
#include "skin/Control.h"

#include <cstdint>
#include <vector>

namespace zdl {

// A default style for new controls of one type, at one layer.
struct StyleEntry {
    int32_t typeCode = 0;
    int32_t layerIndex = 0;
    SkinStyle style;
};

// Receiver of notifications when a container has no page object to call.
using NotifyCallback = void (*)(int code, int id, CSControl* control, uintptr_t userData);

// The tooltip is a rich-text control (CreateTooltipControl by default); a
// null maker leaves containers without one.
using TooltipFactory = CSControl* (*)();
void SetTooltipFactory(TooltipFactory factory);

// Id and placement of the shared tooltip control.
constexpr int32_t kTooltipId = 99999;

// The application's main window: the capture window of a container that has
// not yet handled a message of its own window.
void SetSkinMainWindow(NativeWindow window);
NativeWindow SkinMainWindow();

class CSControlContainer {
public:
    CSControlContainer();
    CSControlContainer(const CSControlContainer&) = delete;
    CSControlContainer& operator=(const CSControlContainer&) = delete;

    virtual ~CSControlContainer(); // 0
    // Pages build their controls here.
    virtual bool OnInit(); // 1
    virtual void OnClose(); // 2
    // Creates the tooltip control.
    virtual void OnAttached(); // 3
    virtual bool HandleMessage(NativeWindow window, unsigned msg, WParam wParam, LParam lParam); // 4
    virtual void OnNotify(int code, int id, CSControl* control); // 5
    virtual void Paint(DibImage* surface, int originX, int originY); // 6
    // Window coordinates.
    virtual bool OnMouseDown(int px, int py); // 7
    // Hover tracking on window coordinates.
    virtual bool OnMouseMove(int px, int py); // 8
    virtual bool OnMouseUp(int px, int py); // 9
    virtual void OnCaptureLost(); // 10

    // Takes ownership of |control| on success (status 0): gives it the
    // default layers of its type, runs its OnAttach and appends it. On a
    // failure status the caller keeps the control.
    HResult AddControl(CSControl* control);
    // Sets (or replaces) the default style of (typeCode, layerIndex).
    HResult SetStyle(int32_t typeCode, int32_t layerIndex, const SkinStyle& style);
    // Fills `styles` with the default style table.
    void FillDefaultStyles();
    // The first enabled, visible control whose HitTest holds; null if none.
    CSControl* HitTestControls(int px, int py);
    // The control with |id| and |typeCode|; null if none.
    CSControl* FindControl(int32_t controlId, int32_t typeCode) const;
    void RequestFocus(CSControl* control);
    void ClearFocus();
    // Moves the keyboard focus forward or backward through the ring of
    // containers; see the .cpp for the rules.
    bool MoveFocus(bool forward);
    bool OwnsFocus() const { return focusControl && focusControl->owner == this; }
    // The top-level window that takes the mouse capture for this container's
    // controls and drags: the one whose messages it handles (a page of the
    // licence window captures to the licence window, not the main window),
    // or the main window before any message arrived.
    NativeWindow CaptureWindow() const;

    bool reportAllChanges = false;
    bool navigationKeys = false;
    bool mouseEnabled = true;
    CSControl* hoverControl = nullptr; // not owned
    bool active = true;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    NotifyCallback notifyCallback = nullptr;
    uintptr_t notifyUserData = 0;
    std::vector<CSControl*> controls; // owned, in creation order
    std::vector<StyleEntry> styles;
    CSControlContainer* nextContainer; // not owned; this by default
    CSControlContainer* prevContainer; // not owned; this by default
    DibImage* background = nullptr; // not owned (image cache)
    CSControl* tooltip = nullptr; // not owned; one of `controls`
    NativeWindow hostWindow = nullptr; // window of the last handled message; not owned

protected:
    // Hover tracking on container-relative coordinates.
    void TrackHover(int cx, int cy);

private:
    bool RouteMouse(NativeWindow window, unsigned msg, WParam wParam, LParam lParam);
    // The control that took a press without taking the focus (a button
    // that is no tab stop): it gets the moves and the release wherever the
    // cursor goes, as the focus control does. Not owned; one of `controls`.
    CSControl* pressTarget_ = nullptr;
    bool RouteKey(unsigned msg, WParam wParam, LParam lParam);
};

} // namespace zdl
