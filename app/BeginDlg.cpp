#include "app/BeginDlg.h"

#include "app/LayoutPage.h"
#include "app/MainWin.h"
#include "app/WinApp.h"
#include "gfx/ImageCache.h"
#include "platform/Process.h"
#include "skin/Animate.h"
#include "skin/Bubble.h"
#include "skin/Button.h"
#include "skin/CheckBox.h"
#include "skin/ClickableStatic.h"
#include "skin/ControlFactories.h"
#include "skin/EditBox.h"
#include "skin/HtmlCtrl.h"
#include "skin/LayoutLoader.h"
#include "skin/MultiColorStatic.h"
#include "skin/ProgressBar.h"

#include <cstdio>
#include <cstring>

namespace zdl {

const char kPageLayoutFile[] = "ui_panel1.lua";

namespace {

    const char kAgreementPrefix[] = "#c6B6B6B#h12";
    constexpr ColorRef kLicenceLinkColor = MakeRgb(0xA7, 0x38, 0x32);

} // namespace

void SetLineText(CSMultiColorStatic* control, const char* prefix, const std::string& text)
{
    if (!control)
        return;
    control->SetMarkupText((std::string(prefix) + text).c_str());
}

CSBeginDlg::CSBeginDlg(CMainWin* window, PageEnvironment environment)
    : window_(window)
    , logic_(this, std::move(environment))
{
    if (!logic_.TakeSingleInstance())
        EndProcess(-1);
    logic_.LoadSettings();
}

CSBeginDlg::~CSBeginDlg()
{
    OnClose();
}

CSControl* CSBeginDlg::Lookup(const char* name, int32_t typeCode, Handler handler)
{
    CSControl* control = FindControlByName(name, typeCode);
    if (control && handler)
        handlers_[control->id] = handler;
    return control;
}

CSMultiColorStatic* CSBeginDlg::AddLine(int32_t id, int x, int y, int width, int height)
{
    CSControl* created = nullptr;
    if (CreateRichText(this, id, x, y, width, height, &created) != 0 || !created)
        return nullptr;
    auto* line = static_cast<CSMultiColorStatic*>(created);
    std::snprintf(line->fontFace, sizeof line->fontFace, "%s", kLineFontFace);
    return line;
}

bool CSBeginDlg::OnInit()
{
    LoadLayout(kPageLayoutFile, this);
    Lookup("minsize", kTypeButton, [](CSBeginDlg* p) {
        if (p->window_)
            WsSendMessage(p->window_->handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    });
    Lookup("set", kTypeButton, [](CSBeginDlg* p) { p->logic_.OnSettings(); });
    Lookup("exit", kTypeButton, [](CSBeginDlg* p) { p->logic_.OnExit(); });
    Lookup("scan", kTypeButton, [](CSBeginDlg* p) { p->logic_.ChooseInstallFolder(); });

    Handler start = [](CSBeginDlg* p) { p->logic_.OnStart(); };
    install = static_cast<CSButton*>(Lookup("install", kTypeButton, start));
    stop = static_cast<CSButton*>(Lookup("stop", kTypeButton, [](CSBeginDlg* p) { p->logic_.OnPause(); }));
    resume = static_cast<CSButton*>(Lookup("continue", kTypeButton, start));
    finish = static_cast<CSButton*>(Lookup("finish", kTypeButton, [](CSBeginDlg* p) { p->logic_.OnFinish(); }));
    ShowButton(PageButton::kStop, false);
    ShowButton(PageButton::kContinue, false);
    ShowButton(PageButton::kFinish, false);

    folderEdit = static_cast<CSEditBox*>(Lookup("edit_dir", kTypeEditBox, nullptr));
    if (folderEdit) {
        folderEdit->SetText(logic_.installDir().c_str());
        folderEdit->SetEnabled(false);
    }

    digits[static_cast<int>(PercentPart::kHundreds)]
        = static_cast<CSBubble*>(Lookup("percent_hun", kTypeBubble, nullptr));
    digits[static_cast<int>(PercentPart::kTens)] = static_cast<CSBubble*>(Lookup("percent_ten", kTypeBubble, nullptr));
    digits[static_cast<int>(PercentPart::kOnes)] = static_cast<CSBubble*>(Lookup("percent_one", kTypeBubble, nullptr));
    digits[static_cast<int>(PercentPart::kSign)] = static_cast<CSBubble*>(Lookup("percent_num", kTypeBubble, nullptr));
    progress = static_cast<CSProgressBar*>(Lookup("progress", kTypeProgressBar, nullptr));
    progressHead = static_cast<CSAnimate*>(Lookup("progress_head", kTypeAnimate, nullptr));
    for (CSBubble* digit : digits) {
        if (digit)
            digit->SetVisible(false);
    }
    ShowProgressHead(false);

    statusLine = AddLine(kStatusLineId, 216, 373, 300, 20);
    infoLine = AddLine(kInfoLineId, 438, 373, 300, 20);
    SetStatusLine(std::string());
    SetInfoLine(std::string());

    accept = static_cast<CSCheckBox*>(
        Lookup("check_accept", kTypeCheckBox, [](CSBeginDlg* p) { p->logic_.OnAcceptanceChanged(); }));
    agreementLabel = AddLine(kAgreementLabelId, 305, 315, 120, 20);
    SetLineText(agreementLabel, kAgreementPrefix, kAgreementText);

    auto* link = new CSClickableStatic;
    if (AddControl(link) == 0) {
        link->id = kLicenceLinkId;
        link->x = 425;
        link->y = 315;
        link->width = 160;
        link->height = 20;
        link->UpdateRect();
        MakeCaptionFont(link);
        link->SetTextColor(kLicenceLinkColor);
        link->SetCaption(kLicenceLinkText);
        licenceLink = link;
        handlers_[kLicenceLinkId] = [](CSBeginDlg* p) { p->OnLicenceLink(); };
    } else {
        delete link;
    }

    banner = static_cast<CSHtmlCtrl*>(Lookup("banner", kTypeHtmlCtrl, nullptr));
    if (banner) {
        banner->SetVisible(false);
        if (banner->Navigate(PublisherPageUrl(kNewsPagePath).c_str()))
            banner->SetVisible(true);
    }
    age = static_cast<CSButton*>(Lookup("age", kTypeButton, [](CSBeginDlg* p) { p->logic_.OnAge(); }));
    return true;
}

void CSBeginDlg::OnClose()
{
    if (closed_)
        return;
    closed_ = true;
    // The core is told to quit and the poll run ends; a run waiting in a
    // message box is not waited for long.
    logic_.Shutdown();
    // The browser goes while OLE still runs.
    if (banner)
        banner->CloseBrowser();
}

void CSBeginDlg::OnAttached()
{
    if (window_)
        window_->draggable = true;
    LockForLicence();
}

void CSBeginDlg::OnNotify(int, int id, CSControl*)
{
    auto it = handlers_.find(id);
    if (it != handlers_.end())
        it->second(this);
}

void CSBeginDlg::AfterPresent()
{
    if (banner)
        banner->FollowMainWindow();
}

bool CSBeginDlg::CanClose()
{
    return true;
}

void CSBeginDlg::OnLicenceLink()
{
    LockForLicence();
}

void CSBeginDlg::LockForLicence()
{
    if (CSWinApp* app = CSWinApp::current())
        app->OpenLicenceWindow();
    navigationKeys = false;
    mouseEnabled = false;
    ShowBanner(false);
}

void CSBeginDlg::TakeLicenceVerdict(LicenceVerdict verdict)
{
    ShowBanner(true);
    navigationKeys = true;
    mouseEnabled = true;
    if (verdict == LicenceVerdict::kKeep)
        return;
    if (accept)
        accept->SetChecked(verdict == LicenceVerdict::kAccept, false);
    logic_.OnAcceptanceChanged();
}

CSButton* CSBeginDlg::Button(PageButton button)
{
    switch (button) {
    case PageButton::kInstall:
        return install;
    case PageButton::kStop:
        return stop;
    case PageButton::kContinue:
        return resume;
    case PageButton::kFinish:
        return finish;
    }
    return nullptr;
}

void CSBeginDlg::ShowButton(PageButton button, bool show)
{
    if (CSButton* b = Button(button))
        b->SetVisible(show);
}

bool CSBeginDlg::IsButtonVisible(PageButton button)
{
    CSButton* b = Button(button);
    return b && b->IsVisible();
}

void CSBeginDlg::SetStatusLine(const std::string& text)
{
    SetLineText(statusLine, kStatusLinePrefix, text);
}

void CSBeginDlg::SetInfoLine(const std::string& text)
{
    SetLineText(infoLine, kInfoLinePrefix, text);
}

bool CSBeginDlg::SetFolderText(const std::string& text)
{
    return folderEdit && folderEdit->SetText(text.c_str());
}

bool CSBeginDlg::IsAcceptChecked()
{
    return accept && accept->isChecked;
}

void CSBeginDlg::ShowPercentPart(PercentPart part, bool show)
{
    if (CSBubble* digit = digits[static_cast<int>(part)])
        digit->SetVisible(show);
}

void CSBeginDlg::SetDigitImage(PercentPart part, int digit)
{
    CSBubble* control = digits[static_cast<int>(part)];
    if (!control || digit < 0 || digit > 9)
        return;
    char name[32];
    std::snprintf(name, sizeof name, "loading_num_%d.png", digit);
    DibImage* image = GetImage(name);
    if (!image)
        return;
    control->image = image;
    control->width = image->Width();
    control->height = image->Height();
    control->UpdateRect();
}

void CSBeginDlg::SetProgressValue(int value)
{
    if (progress)
        progress->percent = value;
}

void CSBeginDlg::ShowProgressHead(bool show)
{
    if (progressHead)
        progressHead->SetVisible(show);
}

void CSBeginDlg::MoveProgressHead(int x, int y)
{
    if (!progressHead)
        return;
    progressHead->x = x;
    progressHead->y = y;
    progressHead->UpdateRect();
}

void CSBeginDlg::ShowBanner(bool show)
{
    if (banner)
        banner->SetVisible(show);
}

} // namespace zdl
