// LicenceGate: what takes the licence page's verdict. The download page
// (CSBeginDlg) implements it; the application gives it to the licence page
// (CSRuleDlg) when it builds that page, so the verdict goes one way, from
// the licence page to the download page, and neither page includes the
// other. User-interface thread only.
#pragma once

namespace zdl {

// What the player did in the licence window.
enum class LicenceVerdict {
    kAccept, // "accept": the licence box is checked
    kRefuse, // "refuse": the licence box is unchecked (a running download pauses)
    kKeep, // "exit", Alt+F4: the box stays as it is
};

class LicenceGate {
public:
    virtual ~LicenceGate() = default;
    // Called once the licence window has closed: the page shows its banner
    // again, takes keyboard and mouse input, and, unless kKeep, sets the
    // licence box without a notification and runs its acceptance handler.
    virtual void TakeLicenceVerdict(LicenceVerdict verdict) = 0;
};

} // namespace zdl
