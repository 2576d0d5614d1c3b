// Row kernels and clipping shared by the image operations (internal to gfx).
// Rows are raw 32-bit (blue, green, red, alpha) or 24-bit pixels; the
// kernels do not check bounds, their callers clip first.
#pragma once

#include "gfx/DibImage.h"

#include <cstdint>

namespace zdl {

// Clips the blend rectangle against the target (the documented rule) and
// then keeps it inside the source as well. False when nothing is left.
bool ClipBlendRect(const DibImage& src, const DibImage& dst, int* x, int* y, int* w, int* h, int* sx, int* sy);

// |count| source pixels (32-bit, straight alpha) over |count| target pixels.
void BlendRow32(uint8_t* dst, const uint8_t* src, int count);
void BlendRow32To24(uint8_t* dst, const uint8_t* src, int count);
// Premultiplies |count| 32-bit pixels in place.
void PremultiplyRow32(uint8_t* row, int count);

}  // namespace zdl
