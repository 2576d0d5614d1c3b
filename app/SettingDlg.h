// CSettingDlg: the settings dialog (template 133, "游戏设置") that the
// download page's "set" button runs modally: the two speed limits with
// their check boxes and the default install folder. OK writes
// "zphdownloader.ini" and hands the effective limits to the page (which
// restarts a running download with them); cancel changes nothing; browse
// picks a folder below which "Zephyra\" is proposed.
// User-interface thread only.
#pragma once

#include "app/AppTexts.h"
#include "app/SkinDialog.h"

#include <string>

namespace zdl {

class DownloadPage;

constexpr int kSettingsDialogTemplate = 133;
constexpr int kIdLimitDownloadCheck = 1055;
constexpr int kIdLimitUploadCheck = 1056;
constexpr int kIdMaxDownloadEdit = 1002;
constexpr int kIdMaxUploadEdit = 1003;
constexpr int kIdFolderEdit = 1015;
constexpr int kIdBrowseButton = 1016;
// Longest text taken from an edit box of the dialog.
constexpr size_t kMaxDialogTextBytes = 4096;
// The browser starts from at most this much of the folder box.
constexpr size_t kMaxBrowseStartBytes = 259;
// No speed limit shows as kNoLimitText (app/AppTexts.txt).

class CSettingDlg : public CSDialog {
public:
    // |page| receives the limits; |installDir| is the folder shown when the
    // file names none.
    CSettingDlg(DownloadPage* page, const std::string& installDir);
    ~CSettingDlg() override; // 0
    void OnCommand(int controlId) override; // 2
    bool OnInitDialog() override; // 5

private:
    void Browse();
    void Save();

    DownloadPage* page_;
    std::string folder_;
};

} // namespace zdl
