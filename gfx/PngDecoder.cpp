// PNG through libpng: palette, low bit depths and the transparency chunk
// expanded, grey made colour, a 0xFF filler after the colour channels where
// there is no alpha, BGR order. Anything that is not 32 bits per pixel after
// those transforms (16 bits per channel) is refused. Alpha stays straight.
#include "gfx/ImageLoader.h"

#include <png.h>

#include <csetjmp>

namespace zdl {

namespace {

    void ReadFromStream(png_structp png, png_bytep data, png_size_t length)
    {
        auto* stream = static_cast<ResourceStream*>(png_get_io_ptr(png));
        if (stream->Read(data, length) != length)
            png_error(png, "short read");
    }

    // Metadata, colour management and text: no transform here uses them.
    // tRNS stays: it is the transparency of palette and grey pictures.
    constexpr png_byte kSkippedChunks[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0"
                                          "pCAL\0pHYs\0sBIT\0sCAL\0sPLT\0sRGB\0tEXt\0tIME\0zTXt";
    constexpr int kSkippedChunkCount = sizeof kSkippedChunks / 5;

    void Silent(png_structp, png_const_charp) { }

    void ErrorJump(png_structp png, png_const_charp)
    {
        png_longjmp(png, 1);
    }

} // namespace

bool DecodePng(ResourceStream* stream, DibImage* image)
{
    DeleteDib(image);
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, ErrorJump, Silent);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    // Declared before setjmp and volatile where changed after it, so that
    // their values survive a longjmp back here.
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        delete[] rows;
        png_destroy_read_struct(&png, &info, nullptr);
        DeleteDib(image);
        return false;
    }
    png_set_read_fn(png, stream, ReadFromStream);
    png_set_user_limits(png, kMaxDibDimension, kMaxDibDimension);
    // libpng reads a chunk it handles whole before looking at it, and a
    // length over its limit is only a warning: a few bytes declaring a 400 MB
    // text chunk make it allocate 400 MB. The ancillary chunks that do not
    // change the pixels are skipped unread instead.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkippedChunks, kSkippedChunkCount);
    png_read_info(png, info);
    // Refused on the header, before any transform or row is allocated.
    if (int64_t(png_get_image_width(png, info)) * png_get_image_height(png, info) > kMaxDibPixels)
        png_longjmp(png, 1);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_expand(png);
    png_set_bgr(png);
    png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    png_uint_32 width = png_get_image_width(png, info);
    png_uint_32 height = png_get_image_height(png, info);
    int depth = png_get_bit_depth(png, info) * png_get_channels(png, info);
    if (depth != 32 || png_get_rowbytes(png, info) != size_t(width) * 4
        || !CreateDib(image, 32, static_cast<int>(width), static_cast<int>(height)))
        png_longjmp(png, 1);
    rows = new png_bytep[height];
    for (png_uint_32 i = 0; i < height; ++i) // picture row i -> memory row height - 1 - i
        rows[i] = image->Row(static_cast<int>(i));
    png_read_image(png, rows);
    png_read_end(png, nullptr);
    delete[] rows;
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

} // namespace zdl
