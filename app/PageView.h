// PageView: the small interface through which the download page's logic
// (DownloadPage) changes what the page shows: the four action buttons at
// one place, the two status lines, the folder box, the licence check box,
// the percent display and the banner.
// CSBeginDlg implements it on its skinned controls; tests record it.
// User-interface thread only.
#pragma once

#include <string>

namespace zdl {

enum class PageButton { kInstall, kStop, kContinue, kFinish };
enum class PercentPart { kHundreds, kTens, kOnes, kSign };

class PageView {
public:
    virtual ~PageView() = default;
    virtual void ShowButton(PageButton button, bool show) = 0;
    virtual bool IsButtonVisible(PageButton button) = 0;
    // The status line (id 200) and the info line (id 201), GBK; their
    // colour prefixes are the view's. Empty clears the line.
    virtual void SetStatusLine(const std::string& text) = 0;
    virtual void SetInfoLine(const std::string& text) = 0;
    // The folder box; false when it refuses a text too long for it.
    virtual bool SetFolderText(const std::string& text) = 0;
    virtual bool IsAcceptChecked() = 0;
    // The percent display: visibility of a digit or the sign; a digit's
    // image "loading_num_%d.png" (the control takes the image's size); the
    // progress bar's value and its head.
    virtual void ShowPercentPart(PercentPart part, bool show) = 0;
    virtual void SetDigitImage(PercentPart part, int digit) = 0;
    virtual void SetProgressValue(int value) = 0;
    virtual void ShowProgressHead(bool show) = 0;
    virtual void MoveProgressHead(int x, int y) = 0;
    virtual void ShowBanner(bool show) = 0;
};

} // namespace zdl
