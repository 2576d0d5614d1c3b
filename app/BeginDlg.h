// CSBeginDlg: the download page's view, the one page of the main window. It
// builds its controls from "ui_panel1.lua" plus four of its own (the status
// and info lines, the agreement label and the licence link), sends each
// click to the handler registered for the control's id, and shows what its
// logic (DownloadPage: states, folder, limits, the poll runs) decides,
// through the PageView operations it implements on those controls. It takes
// the licence page's verdict as the LicenceGate the application hands on.
// Its controls are private: the logic reaches them through PageView only.
//
// The desktop owns the page; the page owns its controls and its logic.
// Closing the main window stops the core, ends the poll run and releases
// the banner's browser while OLE still runs (OnClose). User-interface
// thread only.
#pragma once

#include "app/AppTexts.h"
#include "app/DownloadPage.h"
#include "app/LicenceGate.h"
#include "skin/BitmapDialog.h"

#include <map>

namespace zdl {

class CMainWin;
class CSButton;
class CSCheckBox;
class CSEditBox;
class CSBubble;
class CSProgressBar;
class CSAnimate;
class CSMultiColorStatic;
class CSHtmlCtrl;

extern const char kPageLayoutFile[]; // "ui_panel1.lua"
// kAgreementText, kLicenceLinkText and kLineFontFace: app/AppTexts.txt.
constexpr int32_t kStatusLineId = 200;
constexpr int32_t kInfoLineId = 201;
constexpr int32_t kAgreementLabelId = 202;
constexpr int32_t kLicenceLinkId = 203;

// Stores |prefix| followed by |text| as |control|'s markup; an empty text
// leaves only the prefix. Nothing for a null control.
void SetLineText(CSMultiColorStatic* control, const char* prefix, const std::string& text);

class CSBeginDlg : public CSBitmapDialog, public PageView, public LicenceGate {
public:
    // |window| is made draggable; |environment| comes complete from the
    // application. Takes the single-instance mutex (a second downloader
    // ends here with -1) and reads the settings.
    CSBeginDlg(CMainWin* window, PageEnvironment environment);
    ~CSBeginDlg() override; // 0
    bool OnInit() override; // 1
    void OnClose() override; // 2
    void OnAttached() override; // 3
    void OnNotify(int code, int id, CSControl* control) override; // 5
    void AfterPresent() override; // 11
    bool CanClose() override; // 12

    // The licence link: the licence window opens and the page takes no
    // input until it closes.
    void OnLicenceLink();
    DownloadPage& logic() { return logic_; }

    // LicenceGate.
    void TakeLicenceVerdict(LicenceVerdict verdict) override;

    // PageView.
    void ShowButton(PageButton button, bool show) override;
    bool IsButtonVisible(PageButton button) override;
    void SetStatusLine(const std::string& text) override;
    void SetInfoLine(const std::string& text) override;
    bool SetFolderText(const std::string& text) override;
    bool IsAcceptChecked() override;
    void ShowPercentPart(PercentPart part, bool show) override;
    void SetDigitImage(PercentPart part, int digit) override;
    void SetProgressValue(int value) override;
    void ShowProgressHead(bool show) override;
    void MoveProgressHead(int x, int y) override;
    void ShowBanner(bool show) override;

private:
    using Handler = void (*)(CSBeginDlg* page);
    CSControl* Lookup(const char* name, int32_t typeCode, Handler handler);
    CSButton* Button(PageButton button);
    CSMultiColorStatic* AddLine(int32_t id, int x, int y, int width, int height);
    // The licence window is about to open: no input until it closes.
    void LockForLicence();

    CSButton* install = nullptr; // controls, owned by the page's list
    CSButton* stop = nullptr;
    CSButton* resume = nullptr; // "continue"
    CSButton* finish = nullptr;
    CSEditBox* folderEdit = nullptr;
    CSBubble* digits[4] = {}; // by PercentPart
    CSProgressBar* progress = nullptr;
    CSAnimate* progressHead = nullptr;
    CSCheckBox* accept = nullptr;
    CSMultiColorStatic* statusLine = nullptr;
    CSMultiColorStatic* infoLine = nullptr;
    CSMultiColorStatic* agreementLabel = nullptr;
    CSControl* licenceLink = nullptr;
    CSHtmlCtrl* banner = nullptr;
    CSButton* age = nullptr;

    CMainWin* window_;
    DownloadPage logic_;
    std::map<int32_t, Handler> handlers_;
    bool closed_ = false;
};

} // namespace zdl
