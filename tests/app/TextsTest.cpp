// Every text of the tables (app/AppTexts.txt and the skin's, the drawing
// layer's and the core client's), converted to GBK at build time, against
// the bytes the program has always shown: a changed word, a lost escape or
// a converter that maps a character differently shows up here.
#include "app/AppTexts.h"
#include "core_client/CoreClientTexts.h"
#include "gfx/GfxTexts.h"
#include "skin/SkinTexts.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace zdl {
namespace {

    std::string Hex(const char* text)
    {
        std::string hex;
        for (const char* p = text; *p; ++p) {
            char byte[3];
            std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(*p));
            hex += byte;
        }
        return hex;
    }

    struct KnownText {
        const char* name;
        const char* text;
        const char* gbkHex;
    };

    const KnownText kKnownTexts[] = {
        { "kAgreementText", kAgreementText, "ced2d2d1beadcfeacfb8d4c4b6c1b2a2cdacd2e2" },
        { "kLicenceLinkText", kLicenceLinkText, "a1b6d7eed6d5d3c3bba7cab9d3c3d0edbfc9d0add2e9a1b7" },
        { "kLineFontFace", kLineFontFace, "cbcecce5" },
        { "kPageTitle", kPageTitle, "5a657068797261c3e2b7d1b0e6cfc2d4d8c6f7" },
        { "kTextAlreadyLoaded", kTextAlreadyLoaded, "5a657068797261c3e2b7d1b0e6cfc2d4d8c6f7d2d1bcd3d4d8" },
        { "kTextAcceptFirst", kTextAcceptFirst,
            "c7ebcfc8d4c4b6c1b2a2cdacd2e2a1b6d7eed6d5d3c3bba7cab9d3c3d0edbfc9d0add2e9a1b7" },
        { "kTextConfirmPause", kTextConfirmPause, "cfc2d4d8c9d0ceb4cdeab3c9a3accac7b7f1c8b7c8cfd4ddcda3a3bf" },
        { "kTextPaused", kTextPaused, "cfc2d4d8d2d1d4ddcda3" },
        { "kTextConfirmNewFolder", kTextConfirmNewFolder, "cfc2d4d8c9d0ceb4cdeab3c9a3accac7b7f1b8fcbbbbc4bfc2bca3bf" },
        { "kTextFolderTooLong", kTextFolderTooLong, "cfc2d4d8c2b7beb6b9fdb3a4" },
        { "kTextConfirmExit", kTextConfirmExit, "b0b2d7b0b3ccd0f2c9d0ceb4cdeab3c9a3accac7b7f1c8b7c8cfcdcbb3f6a3bf" },
        { "kBrowsePrompt", kBrowsePrompt, "0d0ac7ebd1a1d4f15a657068797261c3e2b7d1b0e6b5c4b0b2d7b0c4bfc2bca3ba" },
        { "kBrowserTitle", kBrowserTitle, "5a657068797261c3e2b7d1b0e6b0b2d7b0b3ccd0f2" },
        { "kTextReconnecting", kTextReconnecting, "cfc2d4d8caa7b0dca3acb3a2cad4d6d8d0c2c1acbdd3" },
        { "kTextDownloadDone", kTextDownloadDone, "cfc2d4d8cdeab3c9" },
        { "kTextDiskFull", kTextDiskFull, "b4c5c5ccbfd5bce4b2bbd7e3a3acc7ebc7e5c0edb4c5c5cc" },
        { "kTitleWarning", kTitleWarning, "beafb8e6" },
        { "kTextCreateFileError", kTextCreateFileError,
            "b4b4bda8cec4bcfeb4edcef3a3acc7ebb9d8b1d5cfe0b9d8cec4bcfebbf2d5dfc8b7c8cfb4c5c5ccbfd5bce4cac7b7f1d7e3b9b"
            "b" },
        { "kTextInstallFailed", kTextInstallFailed, "b0b2d7b0caa7b0dca3acc7ebc9d4baf3d6d8cad4" },
        { "kTimeUnknown", kTimeUnknown, "d4a4bcc6bbb9d0e8cab1bce4b2bbc8b7b6a8" },
        { "kTimeHoursMinutes", kTimeHoursMinutes, "d4a4bcc6bbb9d0e8202564d0a1cab12564b7d6" },
        { "kTimeMinutes", kTimeMinutes, "d4a4bcc6bbb9d0e8202564b7d6" },
        { "kSizeSpeedFormat", kSizeSpeedFormat,
            "cec4bcfeb4f3d0a1a3ba252e3166472f252e3166472020cfc2d4d8cbd9b6c8a3ba252e31662563422f73" },
        { "kTextStateBegin", kTextStateBegin, "b3ccd0f2b3f5cabcbbaf" },
        { "kTextStateIniting", kTextStateIniting, "b3f5cabcbbaf503250cdf8c2e7" },
        { "kTextStateInitError", kTextStateInitError, "503250cdf8c2e7b3f5cabcbbafb4edcef3" },
        { "kTextStateGetSeedMd5", kTextStateGetSeedMd5, "bbf1c8a1cfc2d4d8d0c5cfa2" },
        { "kTextStateGetSeedMd5Fail", kTextStateGetSeedMd5Fail, "cfc2d4d8d0c5cfa2bbf1c8a1caa7b0dc" },
        { "kTextStateCheckSeedFile", kTextStateCheckSeedFile, "bcecb2e9b0e6b1bed0c5cfa2" },
        { "kTextStateDownloadSeedFile", kTextStateDownloadSeedFile, "cfc2d4d8cec4bcfec1d0b1ed" },
        { "kTextStateAnalysisSeed", kTextStateAnalysisSeed, "b7d6cef6cec4bcfec1d0b1ed" },
        { "kTextStateCreateFile", kTextStateCreateFile, "d5fdd4dab4b4bda8cec4bcfe" },
        { "kTextStateAllFileCheckMd5", kTextStateAllFileCheckMd5, "d5fdd4dad0a3d1e9b1beb5d8cec4bcfe" },
        { "kTextStateAnalysisSeedError", kTextStateAnalysisSeedError,
            "c7ebcfc8b9d8b1d5d0deb8b4c4bfc2bcd3cecfb7b3ccd0f2" },
        { "kTextStateDownloading", kTextStateDownloading, "d5fdd4dacfc2d4d8" },
        { "kTextStateDownloadCompleted", kTextStateDownloadCompleted, "cfc2d4d8cdeab3c9" },
        { "kTextStateToQuit", kTextStateToQuit, "cdcbb3f6b3ccd0f2" },
        { "kTextStateQuit", kTextStateQuit, "cfc2d4d8caa7b0dca3acb3a2cad4d6d8d0c2c1acbdd3" },
        { "kShortcutName", kShortcutName, "5a657068797261c3e2b7d1b0e62e6c6e6b" },
        { "kShortcutDescription", kShortcutDescription, "5a657068797261c3e2b7d1b0e6c6f4b6afb3ccd0f2" },
        { "kProgramGroupName", kProgramGroupName, "5a657068797261c3e2b7d1b0e6" },
        { "kLicenceFileName", kLicenceFileName, "b0b2d7b0b0fc5fd7eed6d5d3c3bba7d0edbfc92e747874" },
        { "kWindowTitle", kWindowTitle, "5a657068797261c3e2b7d1b0e6cfc2d4d8c6f7" },
        { "kCanvasFailedText", kCanvasFailedText, "b4b4bda8bbadb2bcb3f6b4eda1a3" },
        { "kLicenceTitleText", kLicenceTitleText, "234b236831342364d7eed6d5d3c3bba7cab9d3c3d0edbfc9d0add2e9" },
        { "kNoLimitText", kNoLimitText, "cedecfded6c6" },
        { "kLayoutCannotOpenText", kLayoutCannotOpenText, "b4f2b2bbbfaad6b8b6a8b5c4c5e4d6c3cec4bcfe217e" },
        { "kLayoutCompileText", kLayoutCompileText, "bde2cef6c5e4d6c3cec4bcfeb3f6b4ed217e" },
        { "kLayoutNotTableText", kLayoutNotTableText, "c5e4d6c3cec4bcfebaafcafdd3a6b8c3b7b5bbd8d2bbb8f6b1ed217e" },
        { "kLayoutRootTypeText", kLayoutRootTypeText, "70616e656c20c0e0d0cdb1d8d0ebceaa2055496d616765" },
        { "kLayoutNoArgText", kLayoutNoArgText, "70616e656c20b1d8d0ebd3d020617267" },
        { "kLayoutNoArgCaption", kLayoutNoArgCaption, "cce1cabe" },
        { "kLayoutNoSonListText", kLayoutNoSonListText, "70616e656c20b1d8d0ebd3d020736f6e5f6c697374b1ed" },
        { "kLayoutChildNoArgText", kLayoutChildNoArgText, "d7d3bfd8bcfed2b2d3a6b8c3d3d0617267b1ed" },
        { "kLayoutBubbleImageText", kLayoutBubbleImageText, "b4f2b2bbbfaad6b8b6a8b5c4c6f8c5ddd7cad4b4" },
        { "kLayoutButtonImageText", kLayoutButtonImageText, "b4f2b2bbbfaad6b8b6a8b5c4b0b4c5a5d7cad4b4" },
        { "kLayoutAnimationImageText", kLayoutAnimationImageText, "b4f2b2bbbfaad6b8b6a8b5c4b6afbbadd7cad4b4" },
        { "kLayoutTooLargeText", kLayoutTooLargeText, "c5e4d6c3cec4bcfeccabb4f3217e" },
        { "kLayoutPrecompiledText", kLayoutPrecompiledText,
            "c5e4d6c3cec4bcfeb2bbc4dccac7b1e0d2ebb9fdb5c4b4fac2eb217e" },
        { "kLayoutRunErrorText", kLayoutRunErrorText, "d4cbd0d0c5e4d6c3cec4bcfeb3f6b4ed217e" },
        { "kLayoutTooManyStepsText", kLayoutTooManyStepsText, "c5e4d6c3cec4bcfed4cbd0d0cab1bce4b9fdb3a4217e" },
        { "kLayoutOutOfMemoryText", kLayoutOutOfMemoryText, "c5e4d6c3cec4bcfed5bcd3c3c4dab4e6b9fdb6e0217e" },
        { "kLayoutChildNotTableText", kLayoutChildNotTableText, "d7d3bfd8bcfeb1d8d0ebcac7b1ed217e" },
        { "kLayoutTooManyChildrenText", kLayoutTooManyChildrenText, "d7d3bfd8bcfeccabb6e0217e" },
        { "kLayoutBadTypeNameText", kLayoutBadTypeNameText,
            "d7d3bfd8bcfeb5c4c0e0d0cdc3fbb1d8d0ebcac7b2bbb3acb9fd3331d7d6bddab5c4d7d6b7fbb4ae217e" },
        { "kLayoutBadNameText", kLayoutBadNameText,
            "d7d3bfd8bcfeb5c4c3fbd7d6b1d8d0ebcac7b2bbb3acb9fd3331d7d6bddab5c4d7d6b7fbb4ae217e" },
        { "kLayoutBadFileNameText", kLayoutBadFileNameText,
            "d7d3bfd8bcfeb5c4cdbcc6accec4bcfec3fbb1d8d0ebcac7b2bbb3acb9fd3633d7d6bddab5c4d7d6b7fbb4ae217e" },
        { "kLayoutCreateFailedText", kLayoutCreateFailedText, "b4b4bda8d7d3bfd8bcfecaa7b0dc217e" },
        { "kKaiTiFace", kKaiTiFace, "bfaccce5" },
        { "kSongTiFace", kSongTiFace, "cbcecce5" },
        { "kCoreStartFailedFormat", kCoreStartFailedFormat,
            "c6f4b6afcfc2d4d8c6f7c4dabacbbdf8b3cccaa7b0dc2c20b4edcef3c2eb3a202564" },
        { "kErrorTitle", kErrorTitle, "b4edcef3" },
        { "kCoreProgramNamePrefix", kCoreProgramNamePrefix, "4f7276616e65cfc2d4d8c6f72d" },
    };

    TEST(TextsTest, EveryTextIsTheGbkTheProgramAlwaysShowed)
    {
        for (const KnownText& known : kKnownTexts)
            EXPECT_EQ(known.gbkHex, Hex(known.text)) << known.name;
    }

} // namespace
} // namespace zdl
