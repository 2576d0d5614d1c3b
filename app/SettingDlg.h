// CSettingDlg: the settings dialog (template 133, "游戏设置") that the
// download page's "set" button runs modally: the two speed limits with
// their check boxes, the default install folder and sharing with peers. OK writes the settings
// file and keeps the effective limits as its choice, which the page applies
// after the dialog (restarting a running download with them); cancel
// changes nothing; browse picks a folder below which "Zephyra\" is proposed.
// The dialog knows nothing of the page. User-interface thread only.
#pragma once

#include "app/AppTexts.h"
#include "app/SkinDialog.h"
#include "app/StoredSettings.h"
#include "platform/WindowSystem.h"

#include <string>

namespace zdl {

constexpr int kSettingsDialogTemplate = 133;
constexpr int kIdLimitDownloadCheck = 1055;
constexpr int kIdLimitUploadCheck = 1056;
constexpr int kIdMaxDownloadEdit = 1002;
constexpr int kIdMaxUploadEdit = 1003;
constexpr int kIdFolderEdit = 1015;
constexpr int kIdBrowseButton = 1016;
constexpr int kIdShareCheck = 1057; // sharing with peers on the local network
constexpr int kIdShareNote = 1058; // what sharing is for (kShareNote)
// Longest text taken from an edit box of the dialog.
constexpr size_t kMaxDialogTextBytes = 4096;
// The browser starts from at most this much of the folder box.
constexpr size_t kMaxBrowseStartBytes = 259;
// No speed limit shows as kNoLimitText (app/AppTexts.txt).

class CSettingDlg : public CSDialog {
public:
    // Reads and writes the settings file |settingsPath|; |installDir| is the
    // folder shown when the file names none.
    CSettingDlg(const std::string& settingsPath, const std::string& installDir);
    ~CSettingDlg() override; // 0
    void OnCommand(int controlId) override; // 2
    bool OnInitDialog() override; // 5

    // After the dialog: whether OK saved, and the limits then in force.
    const SettingsChoice& choice() const { return choice_; }

private:
    void Browse();
    void Save();

    std::string settingsPath_;
    std::string folder_;
    SettingsChoice choice_;
};

// Runs the dialog modally over |owner| (the download page's settings
// dialog runner) and returns its choice.
SettingsChoice RunSettingsDialog(NativeWindow owner, const std::string& settingsPath, const std::string& installDir);

} // namespace zdl
