// JPEG through libjpeg with its standard error manager; a fatal error writes
// the library's message and a line break to stderr and jumps back here,
// where the decompressor is destroyed and the load fails. The data source
// reads the resource stream in blocks, as the stdio source reads a file.
#include "gfx/ImageLoader.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace zdl {

bool jpegMessagesToStderr = true;

namespace {

    constexpr size_t kJpegReadBlock = 4096;
    // libjpeg's own memory: the largest picture allowed, progressive with three
    // full-resolution components, keeps 6 bytes of coefficients per pixel.
    constexpr long kJpegMaxMemory = static_cast<long>(kMaxDibPixels * 6 + (16L << 20));

    struct StreamSource {
        jpeg_source_mgr pub;
        ResourceStream* stream;
        JOCTET buffer[kJpegReadBlock];
    };

    void InitSource(j_decompress_ptr) { }

    boolean FillInputBuffer(j_decompress_ptr cinfo)
    {
        auto* src = reinterpret_cast<StreamSource*>(cinfo->src);
        size_t n = src->stream->Read(src->buffer, kJpegReadBlock);
        if (n == 0) {
            // As the stdio source does at end of file: warn and insert an EOI
            // marker so that the decoder finishes with what it has.
            WARNMS(cinfo, JWRN_JPEG_EOF);
            src->buffer[0] = 0xFF;
            src->buffer[1] = JPEG_EOI;
            n = 2;
        }
        src->pub.next_input_byte = src->buffer;
        src->pub.bytes_in_buffer = n;
        return TRUE;
    }

    void SkipInputData(j_decompress_ptr cinfo, long count)
    {
        auto* src = reinterpret_cast<StreamSource*>(cinfo->src);
        if (count <= 0)
            return;
        while (count > static_cast<long>(src->pub.bytes_in_buffer)) {
            count -= static_cast<long>(src->pub.bytes_in_buffer);
            FillInputBuffer(cinfo);
        }
        src->pub.next_input_byte += count;
        src->pub.bytes_in_buffer -= static_cast<size_t>(count);
    }

    void TermSource(j_decompress_ptr) { }

    struct ErrorManager {
        jpeg_error_mgr pub;
        std::jmp_buf jump;
    };

    void ErrorExit(j_common_ptr cinfo)
    {
        auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
        if (jpegMessagesToStderr) {
            char message[JMSG_LENGTH_MAX];
            cinfo->err->format_message(cinfo, message);
            std::fprintf(stderr, "%s\n", message);
        }
        std::longjmp(err->jump, 1);
    }

    void NoMessage(j_common_ptr) { }

} // namespace

bool DecodeJpeg(ResourceStream* stream, DibImage* image)
{
    DeleteDib(image);
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    if (!jpegMessagesToStderr)
        err.pub.output_message = NoMessage;
    // Owned by this frame; plain storage so a longjmp leaks nothing.
    StreamSource* volatile source = nullptr;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        delete source;
        DeleteDib(image);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    source = new StreamSource();
    source->stream = stream;
    source->pub.init_source = InitSource;
    source->pub.fill_input_buffer = FillInputBuffer;
    source->pub.skip_input_data = SkipInputData;
    source->pub.resync_to_restart = jpeg_resync_to_restart;
    source->pub.term_source = TermSource;
    source->pub.bytes_in_buffer = 0;
    source->pub.next_input_byte = nullptr;
    cinfo.src = &source->pub;

    // The header alone says how large the picture is: refuse one no image
    // could hold before libjpeg allocates for it (a progressive picture
    // keeps every coefficient in memory), and cap what it may take anyway.
    cinfo.mem->max_memory_to_use = kJpegMaxMemory;
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.image_width > unsigned(kMaxDibDimension) || cinfo.image_height > unsigned(kMaxDibDimension)
        || int64_t(cinfo.image_width) * cinfo.image_height > kMaxDibPixels)
        ERREXIT(&cinfo, JERR_IMAGE_TOO_BIG);
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 1 && cinfo.output_components != 3)
        ERREXIT(&cinfo, JERR_BAD_J_COLORSPACE);
    const int width = static_cast<int>(cinfo.output_width);
    const int height = static_cast<int>(cinfo.output_height);
    const int components = cinfo.output_components;
    JSAMPARRAY line = (*cinfo.mem->alloc_sarray)(
        reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, static_cast<JDIMENSION>(width * components), 1);
    if (!CreateDib(image, 24, width, height))
        ERREXIT(&cinfo, JERR_OUT_OF_MEMORY);
    while (cinfo.output_scanline < cinfo.output_height) {
        int k = static_cast<int>(cinfo.output_scanline);
        if (jpeg_read_scanlines(&cinfo, line, 1) != 1)
            break;
        uint8_t* d = image->Row(k);
        const JSAMPLE* s = line[0];
        if (components == 3) {
            for (int x = 0; x < width; ++x, s += 3, d += 3) {
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
            }
        } else if (components == 1) {
            // Grey: the sample in all three colour bytes.
            for (int x = 0; x < width; ++x, d += 3)
                d[0] = d[1] = d[2] = s[x];
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    delete source;
    return true;
}

} // namespace zdl
