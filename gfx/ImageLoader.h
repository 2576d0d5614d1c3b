// Turns a skin file into a DibImage, choosing the decoder by the text from
// the name's last '.', compared without case:
//   ".bmp"  Windows bitmap, 24 bits per pixel only      -> 24-bit image
//   ".tga"  uncompressed true-colour Targa, 24 or 32 bits -> as stored
//   ".jpg"  JPEG (libjpeg)                              -> 24-bit image
//   ".png"  PNG (libpng), 8 bits per channel            -> 32-bit image
//   ".tcp"  sprite, laid out as a strip of cells        -> 32-bit image
// Any other name fails. Files are opened with OpenResourceFile (loose file,
// then archive). Every decoder first empties the image; on failure the
// image is left without a bitmap. Only the user-interface thread loads.
#pragma once

#include "gfx/DibImage.h"
#include "gfx/ResourceArchive.h"

namespace zdl {

bool LoadImageFile(DibImage* image, const char* name);

// The decoders, reading |stream| from its start. Exposed for tests, tools
// and fuzzing; LoadImageFile is the entry point for everything else.
bool DecodeBmp(ResourceStream* stream, DibImage* image);
bool DecodeTga(ResourceStream* stream, DibImage* image);
bool DecodeJpeg(ResourceStream* stream, DibImage* image);
bool DecodePng(ResourceStream* stream, DibImage* image);
bool DecodeSpriteStrip(ResourceStream* stream, DibImage* image);

// When false, libjpeg's messages are not written to stderr (fuzzing).
extern bool jpegMessagesToStderr;

} // namespace zdl
