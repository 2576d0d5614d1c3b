#include "app/LayoutPage.h"

#include "platform/Resources.h"
#include "skin/LayoutLoader.h"

namespace zdl {

const char kNewsPagePath[] = "/client/news_2014.html";
const char kAgeNoticePagePath[] = "/news/2021/04/30/16589_945369.html";

std::string PublisherPageUrl(const char* path)
{
    std::string host = LoadResourceString(kResWebHost);
    while (!host.empty() && host.back() == '/')
        host.pop_back();
    return host + (path ? path : "");
}

CSLayoutPage::CSLayoutPage(const char* scriptName)
    : scriptName_(scriptName ? scriptName : "")
{
}

bool CSLayoutPage::OnInit()
{
    bool loaded = LoadLayout(scriptName_.c_str(), this);
    banner = static_cast<CSHtmlCtrl*>(FindControlByName("banner", kTypeHtmlCtrl));
    if (banner) {
        banner->SetVisible(false);
        banner->Navigate(PublisherPageUrl(kNewsPagePath).c_str());
        banner->SetVisible(true);
    }
    return loaded;
}

void CSLayoutPage::AfterPresent()
{
    if (banner)
        banner->FollowMainWindow();
}

} // namespace zdl
