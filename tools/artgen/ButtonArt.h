// The skin's sprites: buttons (four looks stored normal, hover, pressed,
// disabled), the licence check box, the scroll-bar parts, the age-rating
// badge and the animated progress head. Each sprite is a set of equal-sized
// frames with a key point per frame; the sprite encoder turns the frame strip
// into a ".tcp" file.
//
// Pressed frames carry the key point (-1, -1): the sprite decoder draws them
// one pixel right and down, so every button keeps its right column and
// bottom row transparent and the shifted frame never spills into the next
// cell of the strip.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tools/artgen/ArtKit.h"

namespace artgen {

struct SpriteArt {
    std::string name; // archive name, e.g. "btn_install.tcp"
    int width = 0, height = 0;
    std::vector<std::unique_ptr<Canvas>> frames;
    std::vector<int> keyX, keyY; // per frame

    // Frames side by side, in stored order.
    bool WriteStrip(const std::string& path) const;
};

std::vector<SpriteArt> DrawButtonSprites();
// "progress_head.tcp": fifteen frames of the glowing head of the bar.
SpriteArt DrawProgressHead();

} // namespace artgen
