// Row kernels and clipping shared by the image operations (internal to gfx).
// Rows are raw 32-bit (blue, green, red, alpha) or 24-bit pixels; the
// kernels do not check bounds, their callers clip first.
#pragma once

#include "gfx/DibImage.h"

#include <cstdint>
#include <vector>

namespace zdl {

// Clips the blend rectangle against the target (the documented rule) and
// then keeps it inside the source as well. False when nothing is left.
bool ClipBlendRect(const DibImage& src, const DibImage& dst, int* x, int* y, int* w, int* h, int* sx, int* sy);

// |count| 32-bit source pixels (straight alpha) over |count| target pixels.
using BlendRowFn = void (*)(uint8_t* dst, const uint8_t* src, int count);
// Premultiplies |count| 32-bit pixels in place.
using PremultiplyRowFn = void (*)(uint8_t* row, int count);

struct RowKernels {
    BlendRowFn blend;
    PremultiplyRowFn premultiply;
    const char* name;
};

// The kernels the image operations use on this processor.
RowKernels ActiveRowKernels();
// Every kernel set this processor can run, the portable one first (tests
// check that all give the same pixels).
std::vector<RowKernels> AllRowKernels();

void BlendRow32Portable(uint8_t* dst, const uint8_t* src, int count);
void PremultiplyRow32Portable(uint8_t* row, int count);
void BlendRow32To24(uint8_t* dst, const uint8_t* src, int count);

} // namespace zdl
