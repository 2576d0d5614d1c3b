// Mouse capture and the shared press/release cycle of the clickable
// controls (buttons, check boxes, clickable texts), and the hook through
// which a button puts its tip text into its page's tooltip.
//
// A control captures the mouse to its own top-level window (its container's
// CaptureWindow), so a button on a second top-level window still receives
// its button-up. User-interface thread only.
#pragma once

#include "platform/UiPlatform.h"
#include "skin/Control.h"

namespace zdl {

// The top-level window of |control|'s container (the main window when it
// has none or its container has handled no message yet).
NativeWindow ControlWindow(const CSControl* control);

// Captures the mouse to |control|'s top-level window.
void CaptureMouseFor(const CSControl* control);

// Ends a press that its control can no longer complete (the control is being
// hidden or disabled): clears *pressed and, when the control's window holds
// the capture, releases it. Nothing when *pressed is false.
void CancelPress(const CSControl* control, bool* pressed);

// Forgets a press or a drag selection of |control| (a button, check box,
// clickable text or edit box) whose mouse capture went to another window
// (a message box, another program): its release will never come here.
void DropPress(CSControl* control);

// The press/release cycle of a button and a clickable text: press inside
// (hand cursor, capture, focus), release (notification 257 when still
// inside). Returns OnMouse's result.
bool ButtonMouse(CSControl* control, bool* pressed, unsigned msg, int px, int py);

// The keyboard press/release cycle of a button and a check box: Enter or
// Space goes down, then up. kReleased means the release completed a press,
// so the control acts now; kIgnored leaves the key to others.
enum class KeyCycle { kIgnored, kTaken, kReleased };
KeyCycle ButtonKey(const CSControl* control, bool* pressed, unsigned msg, WParam key);

// Puts tooltip markup into the page's tooltip control and sizes it to the
// text: SetTooltipMarkup of the rich-text module unless another is set; with
// none a tooltip keeps its old text.
using TooltipTextSetter = void (*)(CSControl* tooltip, const char* markup);
void SetTooltipTextSetter(TooltipTextSetter setter);
TooltipTextSetter GetTooltipTextSetter();

} // namespace zdl
