// Writes a Windows icon file (.ico) holding several sizes of one picture:
// 32-bit DIB images with an AND mask for the small sizes (readable by every
// Windows version) and a PNG image for 256 x 256.
#pragma once

#include <string>
#include <vector>

#include "tools/artgen/ArtKit.h"

namespace artgen {

// |images| are square canvases of distinct sizes, smallest first; a 256-pixel
// image is stored as PNG. Returns false when the file cannot be written.
bool WriteIcon(const std::string& path, const std::vector<const Canvas*>& images);

} // namespace artgen
