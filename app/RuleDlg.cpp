#include "app/RuleDlg.h"

#include "app/LicenceText.h"
#include "app/MainWin.h"
#include "app/WinApp.h"
#include "gfx/ImageCache.h"
#include "skin/ControlFactories.h"
#include "skin/LayoutLoader.h"
#include "skin/MultiColorStatic.h"
#include "skin/ScrollStatic.h"

#include <cstring>
#include <string>

namespace zdl {

const char kLicenceLayoutScript[] = "ui_panel2.lua";

namespace {

    void SetFace(CSMultiColorStatic* control)
    {
        std::memset(control->fontFace, 0, sizeof control->fontFace);
        std::memcpy(control->fontFace, kSongTiFace, std::strlen(kSongTiFace));
    }

    // The licence text area (205): no automatic text width, a fixed one, and
    // the four scroll bar pictures.
    CSScrollStatic* CreateLicenceText(CSControlContainer* page)
    {
        auto* text = new CSScrollStatic;
        if (page->AddControl(text) < 0) {
            delete text;
            return nullptr;
        }
        text->id = kLicenceTextId;
        text->x = 59;
        text->y = 55;
        text->width = 395;
        text->height = 392;
        SetFace(text);
        text->autoTextWidth = false;
        text->textWidth = kLicenceTextWidth;
        text->trackImage = GetImage("scroll.png");
        text->upImage = GetImage("btn_up.tcp");
        text->downImage = GetImage("btn_down.tcp");
        text->thumbImage = GetImage("btn_thumb.tcp");
        text->thumbMarginTop = kLicenceThumbMargin;
        text->thumbMarginBottom = kLicenceThumbMargin;
        text->UpdateRect();
        text->LayoutScrollBar();
        return text;
    }

} // namespace

CSRuleDlg::CSRuleDlg(CMainWin* window, LicenceGate* gate)
    : window(window)
    , gate_(gate)
{
}

CSRuleDlg::~CSRuleDlg()
{
    handlers_.clear();
}

bool CSRuleDlg::OnInit()
{
    LoadLayout(kLicenceLayoutScript, this);
    struct Button {
        const char* name;
        int* id;
        void (CSRuleDlg::*handler)();
    } buttons[] = {
        { "accept", &acceptId, &CSRuleDlg::OnAccept },
        { "refuse", &refuseId, &CSRuleDlg::OnRefuse },
        { "exit", &exitId, &CSRuleDlg::OnExit },
    };
    for (const Button& b : buttons) {
        auto it = controlIds.find(b.name);
        if (it == controlIds.end())
            continue;
        *b.id = it->second;
        handlers_[it->second] = b.handler;
    }
    CSControl* made = nullptr;
    if (CreateRichText(this, kLicenceTitleId, 168, 35, 200, 20, &made) >= 0 && made) {
        title = static_cast<CSMultiColorStatic*>(made);
        SetFace(title);
        title->SetMarkupText(kLicenceTitleText);
    }
    text = CreateLicenceText(this);
    return true;
}

void CSRuleDlg::OnClose() { }

void CSRuleDlg::OnAttached()
{
    if (window)
        window->draggable = true;
    std::string licence;
    if (!ReadLicenceText(&licence))
        return; // no text, and no tooltip either
    MarkLineBreaks(&licence);
    if (text)
        text->SetMarkupText(licence.c_str());
    // The container's own tooltip, made only now that the text is in.
    CSBitmapDialog::OnAttached();
}

void CSRuleDlg::OnNotify(int, int id, CSControl*)
{
    auto it = handlers_.find(id);
    if (it != handlers_.end())
        (this->*(it->second))();
}

void CSRuleDlg::AfterPresent() { }

bool CSRuleDlg::CanClose()
{
    return true;
}

void CSRuleDlg::CloseWith(LicenceVerdict verdict)
{
    if (CSWinApp* app = CSWinApp::current())
        app->CloseLicenceWindow();
    if (gate_)
        gate_->TakeLicenceVerdict(verdict);
}

void CSRuleDlg::OnAccept()
{
    CloseWith(LicenceVerdict::kAccept);
}

void CSRuleDlg::OnRefuse()
{
    CloseWith(LicenceVerdict::kRefuse);
}

void CSRuleDlg::OnExit()
{
    CloseWith(LicenceVerdict::kKeep);
}

} // namespace zdl
