#include "skin/ControlFactories.h"

#include "skin/Animate.h"
#include "skin/Bubble.h"
#include "skin/Button.h"
#include "skin/CheckBox.h"
#include "skin/EditBox.h"
#include "skin/HtmlCtrl.h"
#include "skin/MultiColorStatic.h"
#include "skin/ProgressBar.h"

#include <new>

namespace zdl {

namespace {

    // Adds |control| (null when it could not be made), places it and sizes it.
    HResult Place(CSControlContainer* panel, CSControl* control, int32_t id, int x, int y, int width, int height,
        CSControl** created)
    {
        if (created)
            *created = nullptr;
        if (!control)
            return kStatusOutOfMemory;
        if (!panel) {
            delete control;
            return kStatusInvalidArg;
        }
        HResult status = panel->AddControl(control);
        if (status < 0) {
            delete control;
            return status;
        }
        control->id = id;
        control->x = x;
        control->y = y;
        control->UpdateRect();
        control->width = width;
        control->height = height;
        control->UpdateRect();
        if (created)
            *created = control;
        return 0;
    }

} // namespace

HResult CreateImageButton(CSControlContainer* panel, int32_t id, int x, int y, CSControl** created)
{
    return Place(panel, new (std::nothrow) CSButton, id, x, y, 1, 1, created);
}

HResult CreateCheckBox(CSControlContainer* panel, int32_t id, int x, int y, DibImage* image, CSControl** created)
{
    auto* box = new (std::nothrow) CSCheckBox;
    CSControl* made = nullptr;
    HResult status = Place(panel, box, id, x, y, image ? image->Width() / 2 : 0, image ? image->Height() : 0, &made);
    if (status < 0)
        return status;
    if (box->layers.empty())
        box->layers.resize(1);
    box->layers[0].image = image;
    if (image)
        box->layers[0].frameWidth = image->Width() / 2;
    box->UpdateRect(); // the box from the picture, the caption beside it
    if (created)
        *created = made;
    return 0;
}

HResult CreateBubble(CSControlContainer* panel, DibImage* image, int32_t id, int x, int y, CSControl** created)
{
    if (created)
        *created = nullptr;
    if (!image)
        return 1;
    auto* bubble = new (std::nothrow) CSBubble;
    if (bubble)
        bubble->image = image;
    return Place(panel, bubble, id, x, y, image->Width(), image->Height(), created);
}

HResult CreateProgressBar(
    CSControlContainer* panel, DibImage* image, int32_t id, int x, int y, int length, CSControl** created)
{
    if (created)
        *created = nullptr;
    if (!image)
        return 1;
    auto* bar = new (std::nothrow) CSProgressBar;
    if (bar)
        bar->image = image;
    return Place(panel, bar, id, x, y, length != 0 ? length : image->Width(), image->Height(), created);
}

HResult CreateAnimation(
    CSControlContainer* panel, int32_t id, int x, int y, DibImage* image, int frames, int speed, CSControl** created)
{
    auto* animation = new (std::nothrow) CSAnimate;
    CSControl* made = nullptr;
    HResult status = Place(panel, animation, id, x, y, 0, 0, &made);
    if (status < 0) {
        if (created)
            *created = nullptr;
        return status;
    }
    // Never a zero or negative frame count: the frame width divides by it.
    animation->SetAnimationImage(image, frames < 1 ? 1 : frames);
    animation->speed = speed;
    animation->UpdateRect();
    if (created)
        *created = made;
    return 0;
}

HResult CreateRichText(CSControlContainer* panel, int32_t id, int x, int y, int width, int height, CSControl** created)
{
    return Place(panel, new (std::nothrow) CSMultiColorStatic, id, x, y, width, height, created);
}

HResult CreateEditBox(CSControlContainer* panel, int32_t id, int x, int y, int width, int height, CSControl** created)
{
    auto* edit = new (std::nothrow) CSEditBox;
    CSControl* made = nullptr;
    HResult status = Place(panel, edit, id, x, y, width, height, &made);
    if (status < 0) {
        if (created)
            *created = nullptr;
        return status;
    }
    edit->SetText("");
    if (created)
        *created = made;
    return 0;
}

HResult CreateWebView(CSControlContainer* panel, int32_t id, int x, int y, int width, int height, CSControl** created)
{
    return Place(panel, new (std::nothrow) CSHtmlCtrl, id, x, y, width, height, created);
}

} // namespace zdl
