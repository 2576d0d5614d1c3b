// Writes a 32-bit canvas to a PNG file (straight alpha, rows top-down), so
// a test can leave the frame it drew for people to look at.
#pragma once

#include "gfx/DibImage.h"

#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

namespace zdl::test {

inline bool WritePng(const DibImage& image, const std::string& path)
{
    if (image.Empty() || image.BitsPerPixel() != 32)
        return false;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    if (png && info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, f);
        png_set_IHDR(png, info, image.Width(), image.Height(), 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
            PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_bgr(png);
        png_write_info(png, info);
        for (int y = 0; y < image.Height(); ++y)
            png_write_row(png, image.Row(y));
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    return ok;
}

} // namespace zdl::test
