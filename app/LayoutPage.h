// CSLayoutPage: a page made only from its layout script, with every control
// in the state the script gives it. The main window shows the download
// page's script this way until the download page's own controller takes
// over; its web view "banner" shows the publisher's news page (string 152
// plus "/client/news_2014.html") and follows the window after each frame.
//
// The desktop owns the page; the page owns its controls. User-interface
// thread only.
#pragma once

#include "skin/BitmapDialog.h"
#include "skin/HtmlCtrl.h"

#include <string>

namespace zdl {

// Paths of the publisher's pages under the web host (string 152).
extern const char kNewsPagePath[]; // "/client/news_2014.html"
extern const char kAgeNoticePagePath[]; // "/news/2021/04/30/16589_945369.html"

// The web host of the executable's string 152 followed by |path|.
std::string PublisherPageUrl(const char* path);

class CSLayoutPage : public CSBitmapDialog {
public:
    explicit CSLayoutPage(const char* scriptName);

    // Loads the script; navigates the banner, if there is one, and shows it.
    bool OnInit() override; // 1
    // The banner's popup follows the main window.
    void AfterPresent() override; // 11

    CSHtmlCtrl* banner = nullptr; // one of `controls`; null when the script has none

private:
    std::string scriptName_;
};

} // namespace zdl
