// The large pictures of the skin: the two panel backgrounds, the banner
// placeholder, the emblem that overhangs the main panel, the logo and the
// small decorations of the download page. Each function draws into a
// canvas of the picture's own size (see SkinGeometry.h).
#pragma once

#include "tools/artgen/ArtKit.h"

namespace artgen {

enum class BannerSlot { kIdleBackdrop, kPlaceholder };

// bg.png and web_bg.png (868 x 513): the shaped main panel. web_bg carries
// the promotional picture in the banner slot, shown while the page loads.
void DrawMainBackground(Canvas& canvas, BannerSlot slot);
// msg_box.png (488 x 510): the licence panel.
void DrawLicencePanel(Canvas& canvas);
// banner.png: the frame around the web banner, transparent inside.
void DrawBannerFrame(Canvas& canvas);
// logo.png: "ZEPHYRA" and the free-edition badge.
void DrawLogo(Canvas& canvas);
// char.png: the wind-crystal crest, placed at (-149, -35).
void DrawEmblem(Canvas& canvas);
// save.png: folder icon and "安装路径".
void DrawSaveLabel(Canvas& canvas);
// edit_bg.png: border of the install-folder field, transparent inside.
void DrawEditFrame(Canvas& canvas);
// The program icon: the crest on a rounded tile, drawn at the canvas's
// (square) size; below 40 pixels only the crystal.
void DrawIconArt(Canvas& canvas);

} // namespace artgen
