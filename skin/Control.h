// CSControl, the base of every windowless control of the skin, and
// SkinStyle, one skin layer of a control.
//
// A control lives in one CSControlContainer, which owns it, routes messages
// to it and paints it; positions are relative to that container. Controls
// draw themselves into the window's 32-bit canvas in Paint. Virtual
// operations are declared in their table order (destructor first); subclasses
// append theirs. User-interface thread only.
#pragma once

#include "gfx/DibImage.h"
#include "gfx/FontCache.h"
#include "platform/WinDefs.h"

#include <cstdint>
#include <vector>

namespace zdl {

class CSControlContainer;

// Kinds of control (typeCode); they select the default styles.
enum ControlType : int32_t {
    kTypeButton = 0,
    kTypeStatic = 1,
    kTypeCheckBox = 2,
    kTypeEditBox = 6,
    kTypeBubble = 10,
    kTypeHtmlCtrl = 12,
    kTypeProgressBar = 13,
    kTypeMultiColorStatic = 14,
    kTypeAnimate = 15,
    kTypeClickableStatic = 16,
    kTypeScrollStatic = 17,
};

// Notification codes from controls to their page.
constexpr int kNotifyClicked = 257;
constexpr int kNotifyCheckChanged = 1025;
constexpr int kNotifyEditEnter = 1537;
constexpr int kNotifyEditChanged = 1538;

// Number of visual states with their own caption colour.
constexpr int kSkinStateCount = 6;

// One skin layer. The image belongs to the image cache and the font to the
// font cache (or, for a caption font, to the control that made it).
struct SkinStyle {
    DibImage* image = nullptr; // not owned; null when none
    FontHandle font = nullptr; // not owned by the style
    int32_t frameWidth = 0; // width of one frame of a horizontal state strip
    uint32_t textFormat = 0; // DrawText format bits for the caption
    ColorRef textColor[kSkinStateCount] = {}; // caption colour per visual state
};

class CSControl {
public:
    explicit CSControl(int32_t typeCode);
    CSControl(const CSControl&) = delete;
    CSControl& operator=(const CSControl&) = delete;

    virtual ~CSControl(); // 0
    virtual HResult OnAttach(); // 1
    // Draws at (originX + x, originY + y).
    virtual void Paint(DibImage* surface, int originX, int originY); // 2
    // Only the focus control receives it.
    virtual bool OnMessage(unsigned msg, WParam wParam, LParam lParam); // 3
    virtual bool OnKey(unsigned msg, WParam wParam, LParam lParam); // 4
    // x, y relative to the owning container.
    virtual bool OnMouse(unsigned msg, int x, int y, WParam wParam, LParam lParam); // 5
    virtual bool CanFocus(); // 6
    virtual void OnSetFocus(); // 7
    virtual void OnKillFocus(); // 8
    virtual void OnMouseEnter(); // 9
    virtual void OnMouseLeave(); // 10
    // The control's hot key was pressed.
    virtual void Activate(); // 11
    virtual bool HitTest(int x, int y); // 12
    virtual void SetEnabled(bool enable); // 13
    virtual bool IsEnabled(); // 14
    virtual void SetVisible(bool show); // 15
    virtual bool IsVisible(); // 16
    // Sets the state-0 caption colour of layer 0; nothing without layer 0.
    virtual void SetTextColor(ColorRef color); // 17
    // rect = (x, y, x + width, y + height); call after moving or resizing.
    virtual void UpdateRect(); // 18

    bool visible = true;
    bool hovered = false;
    bool focused = false;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    CSControlContainer* owner = nullptr; // not owned
    int32_t index = 0; // position in the owner's list
    std::vector<SkinStyle> layers; // layer 0 is the one every control draws with
    int32_t id = 0;
    int32_t typeCode;
    int32_t hotKey = 0; // virtual-key code; 0 = none
    bool enabled = true;
    DibRect rect; // hit-test rectangle in container coordinates
    bool notified = false; // set by every notification it sends
    bool tabStop = true;
    // The caption font made by MakeCaptionFont, owned; deleted with the
    // control or when the next one is made. Null when none.
    FontHandle captionFont = nullptr;
};

// The process-wide keyboard focus (not owned); null when no control has it.
extern CSControl* focusControl;

// Sends notification |code| from |control| to its owner: sets `notified`,
// then calls the owner's notifyCallback if set, else its OnNotify.
void NotifyOwner(CSControl* control, int code);

// Replaces the font of the control's first layer by its own caption font
// ("宋体", height 12, normal weight), deleting the caption font it made
// before. Nothing when the control has no layer.
void MakeCaptionFont(CSControl* control);

} // namespace zdl
