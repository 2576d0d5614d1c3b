// Where the skin's pieces stand on the two panels, in panel pixels. The
// layout scripts res/ui_panel1.lua and res/ui_panel2.lua place the controls
// at these same positions; the backgrounds are drawn to fit them (opaque
// under every place where text is drawn at run time).
#pragma once

namespace artgen::geo {

struct Box {
    double x, y, w, h;
};

// Main window (868 x 513): the shaped panel and its three bands.
constexpr int kMainWidth = 868;
constexpr int kMainHeight = 513;
constexpr Box kPanel = { 76, 66, 724, 380 }; // right 800, bottom 446
constexpr double kPanelRadius = 14;
constexpr double kCardTop = 258; // light band with folder, licence and start
constexpr double kFooterTop = 336; // dark band with status and progress

// Controls of the download page.
constexpr Box kBanner = { 262, 125, 392, 124 }; // web view slot
constexpr Box kBannerFrame = { 254, 117, 408, 140 }; // "web_back" bubble, banner.png
constexpr Box kLogo = { 236, 68, 270, 48 }; // "logo" bubble
constexpr Box kEmblem = { -149, -35, 470, 440 }; // "char" bubble
constexpr Box kSaveLabel = { 238, 271, 80, 22 }; // "save" bubble
constexpr Box kEdit = { 323, 272, 292, 14 }; // "edit_dir"
constexpr Box kEditFrame = { 317, 269, 298, 25 }; // "edit_bg" bubble
constexpr Box kProgress = { 120, 392, 638, 10 };
constexpr Box kStatusLine = { 216, 373, 300, 20 };
constexpr Box kInfoLine = { 438, 373, 300, 20 };
constexpr Box kAgreeLabel = { 305, 315, 120, 20 };
constexpr Box kLicenceLink = { 425, 315, 160, 20 };

// Licence window (488 x 510).
constexpr int kLicenceWidth = 488;
constexpr int kLicenceHeight = 510;
constexpr Box kLicencePanel = { 12, 10, 464, 490 };
constexpr Box kLicenceTitle = { 168, 35, 200, 20 };
constexpr Box kLicenceText = { 59, 55, 395, 392 };

// Picture sizes.
constexpr int kDigitWidth = 18, kDigitHeight = 28; // at x 690/708/726, y 360
constexpr int kDigitBaseline = 25;
constexpr int kPercentWidth = 15, kPercentHeight = 13; // at 744, 375
constexpr int kPercentBaseline = 10;
constexpr int kProgressImageWidth = 640, kProgressHeight = 10;
constexpr int kHeadWidth = 40, kHeadHeight = 26, kHeadFrames = 15;
constexpr int kScrollColumn = 12;
constexpr int kScrollArrow = 12;
constexpr int kScrollThumb = 44;
constexpr int kScrollTrack = 392 - 2 * kScrollArrow;

} // namespace artgen::geo
