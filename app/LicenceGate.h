// What the licence page does to the download page once the licence window
// has closed. The download page (CSBeginDlg) implements it; the licence page
// finds it among the main window's pages, so neither page includes the
// other. User-interface thread only.
#pragma once

namespace zdl {

class LicenceGate {
public:
    virtual ~LicenceGate() = default;
    // The licence window is gone: the page shows its banner again and takes
    // keyboard and mouse input (navigationKeys and mouseEnabled on).
    virtual void ResumeAfterLicence() = 0;
    // Sets "check_accept" to |accepted| without a notification, then runs
    // the page's acceptance-changed handler (which pauses a running download
    // when the box is unchecked).
    virtual void SetLicenceAccepted(bool accepted) = 0;
};

} // namespace zdl
