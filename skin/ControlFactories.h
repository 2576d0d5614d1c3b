// The factories that make one skinned control each and add it to a panel,
// as the layout loader (and pages that add controls of their own) use them.
//
// Each constructs the control, adds it to |panel| with AddControl (which
// gives it its default layers and takes ownership), sets id, x and y,
// updates its rectangle, then sets its size and updates it again. They
// return 0, or the negative status of a failed AddControl (the control is
// then deleted); |created|, when given, receives the control (null on
// failure). Images belong to the image cache. User-interface thread only.
#pragma once

#include "gfx/DibImage.h"
#include "platform/WinDefs.h"
#include "skin/ControlContainer.h"

#include <cstdint>

namespace zdl {

// CSButton of size 1 x 1; the loader sizes it from its picture.
HResult CreateImageButton(CSControlContainer* panel, int32_t id, int x, int y, CSControl** created = nullptr);
// CSCheckBox whose box is |image| (two frames: unchecked, checked).
HResult CreateCheckBox(
    CSControlContainer* panel, int32_t id, int x, int y, DibImage* image, CSControl** created = nullptr);
// CSBubble of the image's size; 1 and nothing created without an image.
HResult CreateBubble(
    CSControlContainer* panel, DibImage* image, int32_t id, int x, int y, CSControl** created = nullptr);
// CSProgressBar of (length, image height), or the image's size when
// |length| is 0; 1 and nothing created without an image.
HResult CreateProgressBar(
    CSControlContainer* panel, DibImage* image, int32_t id, int x, int y, int length, CSControl** created = nullptr);
// CSAnimate of (image width / frames, image height) advancing every
// |speed| repaints; |frames| below 1 counts as 1.
HResult CreateAnimation(CSControlContainer* panel, int32_t id, int x, int y, DibImage* image, int frames, int speed,
    CSControl** created = nullptr);
// CSMultiColorStatic of (width, height).
HResult CreateRichText(
    CSControlContainer* panel, int32_t id, int x, int y, int width, int height, CSControl** created = nullptr);
// CSEditBox of (width, height) with the text "".
HResult CreateEditBox(
    CSControlContainer* panel, int32_t id, int x, int y, int width, int height, CSControl** created = nullptr);
// CSHtmlCtrl (the embedded web view) of (width, height).
HResult CreateWebView(
    CSControlContainer* panel, int32_t id, int x, int y, int width, int height, CSControl** created = nullptr);

} // namespace zdl
