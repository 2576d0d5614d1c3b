#include "app/SettingDlg.h"

#include "app/DownloadPage.h"
#include "platform/Shell.h"

namespace zdl {

CSettingDlg::CSettingDlg(const std::string& settingsPath, const std::string& installDir)
    : settingsPath_(settingsPath)
    , folder_(installDir)
{
}

CSettingDlg::~CSettingDlg() = default;

bool CSettingDlg::OnInitDialog()
{
    StoredSettings stored;
    ReadSettingsFile(settingsPath_, &stored);
    WsCheckDlgButton(dialog, kIdShareCheck, stored.share);
    WsSetDlgItemText(dialog, kIdShareNote, kShareNote);
    auto limitText = [](int value) { return value > 0 ? std::to_string(value) : std::string(kNoLimitText); };
    WsSetDlgItemText(dialog, kIdMaxDownloadEdit, limitText(stored.maxDownloadSpeed));
    WsSetDlgItemText(dialog, kIdMaxUploadEdit, limitText(stored.maxUploadSpeed));
    WsCheckDlgButton(dialog, kIdLimitDownloadCheck, stored.limitDownload);
    WsCheckDlgButton(dialog, kIdLimitUploadCheck, stored.limitUpload);
    WsSetDlgItemText(dialog, kIdFolderEdit, stored.hasDefaultDir ? stored.defaultDir : folder_);
    return true;
}

void CSettingDlg::OnCommand(int controlId)
{
    switch (controlId) {
    case IDOK:
        Save();
        WsSendDialogMessage(dialog, WM_CLOSE, 0, 0);
        break;
    case IDCANCEL:
        WsSendDialogMessage(dialog, WM_CLOSE, 0, 0);
        break;
    case kIdBrowseButton:
        Browse();
        break;
    default:
        break;
    }
}

void CSettingDlg::Browse()
{
    FolderBrowseRequest request;
    // Owned by the dialog, so the dialog cannot be closed during the browse.
    request.owner = dialog;
    request.prompt = kBrowsePrompt;
    request.initialFolder = WsGetDlgItemText(dialog, kIdFolderEdit, kMaxBrowseStartBytes);
    request.windowTitle = kBrowserTitle;
    std::string chosen;
    if (!BrowseForFolder(request, &chosen) || chosen.empty())
        return;
    WsSetDlgItemText(dialog, kIdFolderEdit, WithTrailingBackslash(chosen) + kInstallSubfolder);
}

void CSettingDlg::Save()
{
    SettingsToWrite settings;
    settings.limitDownload = WsIsDlgButtonChecked(dialog, kIdLimitDownloadCheck);
    settings.limitUpload = WsIsDlgButtonChecked(dialog, kIdLimitUploadCheck);
    settings.maxDownload = ParseTypedLimit(WsGetDlgItemText(dialog, kIdMaxDownloadEdit, kMaxDialogTextBytes));
    settings.maxUpload = ParseTypedLimit(WsGetDlgItemText(dialog, kIdMaxUploadEdit, kMaxDialogTextBytes));
    settings.folder = WsGetDlgItemText(dialog, kIdFolderEdit, kMaxDialogTextBytes);
    settings.share = WsIsDlgButtonChecked(dialog, kIdShareCheck);
    // A file that cannot be written is skipped; the limits still apply.
    WriteSettingsFile(settingsPath_, settings);
    choice_.saved = true;
    choice_.downloadLimit = EffectiveLimit(settings.limitDownload, settings.maxDownload);
    choice_.uploadLimit = EffectiveLimit(settings.limitUpload, settings.maxUpload);
    choice_.share = settings.share;
}

SettingsChoice RunSettingsDialog(NativeWindow owner, const std::string& settingsPath, const std::string& installDir)
{
    CSettingDlg dialog(settingsPath, installDir);
    dialog.DoModal(kSettingsDialogTemplate, owner);
    return dialog.choice();
}

} // namespace zdl
