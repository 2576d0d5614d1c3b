// A download-page-like panel with one control of each kind, built from the
// real archive's pictures at the places "ui_panel1.lua" gives them, in fixed
// states (a hovered and a disabled button, a checked box, a bar at 35 %, an
// edit box with a selection, a rich-text title). The rendering test compares
// it with a committed picture; the controls bench paints it per frame.
#pragma once

#include "gfx/ImageCache.h"
#include "gfx/ResourceArchive.h"
#include "skin/Animate.h"
#include "skin/Bubble.h"
#include "skin/CheckBox.h"
#include "skin/ClickableStatic.h"
#include "skin/ControlContainer.h"
#include "skin/EditBox.h"
#include "skin/MultiColorStatic.h"
#include "skin/ProgressBar.h"

namespace zdl::test {

// Adds |control| and places it as the layout loader does; null on failure.
template <class T> T* AddShowcaseControl(CSControlContainer* page, T* control, int x, int y, int w, int h)
{
    if (page->AddControl(control) != 0) {
        delete control;
        return nullptr;
    }
    control->x = x;
    control->y = y;
    control->UpdateRect();
    control->width = w;
    control->height = h;
    control->UpdateRect();
    return control;
}

// A button from a 4-frame strip, sized to one frame.
inline CSButton* AddStripButton(CSControlContainer* page, const char* name, int x, int y)
{
    DibImage* strip = GetImage(name);
    if (!strip)
        return nullptr;
    int frame = strip->Width() / 4;
    CSButton* b = AddShowcaseControl(page, new CSButton(), x, y, frame, strip->Height());
    if (b) {
        b->layers.resize(1);
        b->layers[0].image = strip;
        b->layers[0].frameWidth = frame;
    }
    return b;
}

// Fills |page| (whose default styles must be set) with the showcase
// controls; false when the archive lacks a picture it needs.
inline bool BuildControlShowcase(CSControlContainer* page)
{
    CSButton* install = AddStripButton(page, "btn_install.tcp", 680, 270);
    CSButton* choose = AddStripButton(page, "btn_choose.tcp", 615, 270);
    CSButton* settings = AddStripButton(page, "btn_set.tcp", 675, 85);
    if (!install || !choose || !settings)
        return false;
    choose->hovered = true;
    settings->SetEnabled(false);
    install->SetCaption("");

    // "下载速度：2048 KB/s  剩余时间 00:12:34"
    auto* status = AddShowcaseControl(page, new CSStatic(), 120, 350, 400, 16);
    status->SetCaption("\xCF\xC2\xD4\xD8\xCB\xD9\xB6\xC8\xA3\xBA"
                       "2048 KB/s  \xCA\xA3\xD3\xE0\xCA\xB1\xBC\xE4 00:12:34");
    status->SetTextColor(MakeRgb(60, 40, 20));

    DibImage* box = GetImage("check_btn.tcp");
    auto* check = AddShowcaseControl(page, new CSCheckBox(), 280, 310, box ? box->Width() / 2 : 16, 16);
    if (box && !check->layers.empty()) {
        check->layers[0].image = box;
        check->layers[0].frameWidth = box->Width() / 2;
    }
    check->SetCaption("\xCE\xD2\xD2\xD1\xD4\xC4\xB6\xC1\xB2\xA2\xCD\xAC\xD2\xE2"); // "我已阅读并同意"
    check->UpdateRect();
    check->SetChecked(true, false);

    auto* link = AddShowcaseControl(page, new CSClickableStatic(), 420, 312, 150, 14);
    link->SetCaption("\xA1\xB6\xD7\xEE\xD6\xD5\xD3\xC3\xBB\xA7\xD0\xED\xBF\xC9\xD0\xAD\xD2\xE9\xA1\xB7");
    link->SetTextColor(MakeRgb(0, 80, 200));

    auto* bar = AddShowcaseControl(page, new CSProgressBar(), 120, 392, 638, 0);
    bar->image = GetImage("progress.png");
    if (bar->image)
        bar->height = bar->image->Height();
    bar->UpdateRect();
    bar->percent = 35;

    auto* head = AddShowcaseControl(page, new CSAnimate(), 100, 384, 0, 0);
    head->SetAnimationImage(GetImage("progress_head.tcp"), 15);
    head->UpdateRect();
    head->speed = 1000000; // holds frame 0 for a still picture

    const char* digits[] = { "loading_num_3.png", "loading_num_5.png", "percent_num.png" };
    for (int i = 0; i < 3; ++i) {
        DibImage* digit = GetImage(digits[i]);
        if (!digit)
            return false;
        auto* bubble = AddShowcaseControl(
            page, new CSBubble(), 690 + 18 * i, i == 2 ? 375 : 360, digit->Width(), digit->Height());
        bubble->image = digit;
        bubble->SetEnabled(false);
    }

    DibImage* field = GetImage("edit_bg.png");
    auto* fieldBack
        = AddShowcaseControl(page, new CSStatic(), 317, 269, field ? field->Width() : 0, field ? field->Height() : 0);
    fieldBack->backImage = field;
    auto* edit = AddShowcaseControl(page, new CSEditBox(), 322, 273, 280, 16);
    edit->SetText("C:\\Program Files\\Zephyra\\\xB0\xB2\xD7\xB0\xC4\xBF\xC2\xBC"); // "...安装目录"
    edit->anchor = 3;
    edit->SetCaret(16);

    auto* title = AddShowcaseControl(page, new CSMultiColorStatic(), 236, 180, 400, 60);
    // "#K#h14#d最终用户使用许可协议#r#cE04010#h12普通 #G绿色 #i斜体 #u下划线"
    title->SetMarkupText("#K#h14#d\xD7\xEE\xD6\xD5\xD3\xC3\xBB\xA7\xCA\xB9\xD3\xC3\xD0\xED\xBF\xC9\xD0\xAD\xD2\xE9"
                         "#r#cE04010#h12\xC6\xD5\xCD\xA8 #G\xC2\xCC\xC9\xAB #i\xD0\xB1\xCC\xE5 "
                         "#u\xCF\xC2\xBB\xAE\xCF\xDF");
    return true;
}

} // namespace zdl::test
