#include "tests/gfx/GfxTestUtil.h"

#include <png.h>

#include <cstdio>
#include <cstring>
#include <jpeglib.h>

namespace zdl {
namespace test {

    static void Put16(std::vector<uint8_t>* out, uint32_t v)
    {
        out->push_back(uint8_t(v));
        out->push_back(uint8_t(v >> 8));
    }

    static void Put32(std::vector<uint8_t>* out, uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            out->push_back(uint8_t(v >> (8 * i)));
    }

    std::vector<uint8_t> MakeQfa(const std::vector<std::pair<std::string, std::string>>& files)
    {
        std::vector<uint8_t> out = { 'Q', 'F', 'A', 0 };
        Put32(&out, uint32_t(files.size()));
        uint32_t offset = 0;
        for (const auto& f : files) {
            uint8_t name[64] = {};
            std::memcpy(name, f.first.data(), f.first.size());
            out.insert(out.end(), name, name + 64);
            Put32(&out, offset);
            Put32(&out, uint32_t(f.second.size()));
            offset += uint32_t(f.second.size()) + 1;
        }
        for (const auto& f : files) {
            out.insert(out.end(), f.second.begin(), f.second.end());
            out.push_back(0xFF);
        }
        return out;
    }

    std::vector<uint8_t> MakeSprite(uint16_t width, uint16_t height, const std::vector<uint16_t>& palette,
        const std::vector<SpriteFrameSpec>& frames, uint16_t directions)
    {
        std::vector<uint8_t> out;
        Put16(&out, 0x5053);
        Put16(&out, 12);
        Put16(&out, directions);
        Put16(&out, uint16_t(frames.size() / directions));
        Put16(&out, width);
        Put16(&out, height);
        Put16(&out, 0);
        Put16(&out, 0);
        for (int i = 0; i < 256; ++i)
            Put16(&out, i < int(palette.size()) ? palette[size_t(i)] : 0);
        size_t table = out.size();
        out.resize(out.size() + 4 * frames.size());
        for (size_t f = 0; f < frames.size(); ++f) {
            const SpriteFrameSpec& s = frames[f];
            if (s.empty)
                continue;
            size_t at = out.size();
            uint32_t rel = uint32_t(at - 16);
            std::memcpy(&out[table + 4 * f], &rel, 4);
            Put32(&out, uint32_t(s.keyX));
            Put32(&out, uint32_t(s.keyY));
            Put32(&out, uint32_t(s.width));
            Put32(&out, uint32_t(s.height));
            size_t rowTable = out.size();
            out.resize(out.size() + 4 * size_t(s.height));
            for (int r = 0; r < s.height; ++r) {
                uint32_t pos = uint32_t(out.size() - at);
                std::memcpy(&out[rowTable + 4 * size_t(r)], &pos, 4);
                if (size_t(r) < s.rows.size())
                    out.insert(out.end(), s.rows[size_t(r)].begin(), s.rows[size_t(r)].end());
                else
                    out.push_back(0);
            }
        }
        return out;
    }

    static void PngWrite(png_structp png, png_bytep data, png_size_t n)
    {
        auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
        out->insert(out->end(), data, data + n);
    }

    static void PngFlush(png_structp) { }

    std::vector<uint8_t> MakePng(int width, int height, int colorType, int bitDepth,
        const std::vector<uint8_t>& samples, const std::vector<uint8_t>& palette, const std::vector<uint8_t>& trns)
    {
        std::vector<uint8_t> out;
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        if (setjmp(png_jmpbuf(png))) {
            png_destroy_write_struct(&png, &info);
            return {};
        }
        png_set_write_fn(png, &out, PngWrite, PngFlush);
        png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), bitDepth, colorType, PNG_INTERLACE_NONE,
            PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        std::vector<png_color> pal;
        for (size_t i = 0; i + 2 < palette.size(); i += 3)
            pal.push_back(png_color { palette[i], palette[i + 1], palette[i + 2] });
        if (!pal.empty())
            png_set_PLTE(png, info, pal.data(), int(pal.size()));
        if (!trns.empty())
            png_set_tRNS(png, info, trns.data(), int(trns.size()), nullptr);
        png_write_info(png, info);
        size_t rowBytes = samples.size() / size_t(height);
        for (int y = 0; y < height; ++y)
            png_write_row(png, const_cast<png_bytep>(samples.data() + size_t(y) * rowBytes));
        png_write_end(png, nullptr);
        png_destroy_write_struct(&png, &info);
        return out;
    }

    std::vector<uint8_t> MakeJpeg(int width, int height, int components, const std::vector<uint8_t>& samples)
    {
        jpeg_compress_struct cinfo;
        jpeg_error_mgr err;
        cinfo.err = jpeg_std_error(&err);
        jpeg_create_compress(&cinfo);
        unsigned char* mem = nullptr;
        unsigned long memSize = 0;
        jpeg_mem_dest(&cinfo, &mem, &memSize);
        cinfo.image_width = JDIMENSION(width);
        cinfo.image_height = JDIMENSION(height);
        cinfo.input_components = components;
        cinfo.in_color_space = components == 3 ? JCS_RGB : JCS_GRAYSCALE;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, 100, TRUE);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW row
                = const_cast<JSAMPROW>(samples.data() + size_t(cinfo.next_scanline) * size_t(width * components));
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
        std::vector<uint8_t> out(mem, mem + memSize);
        jpeg_destroy_compress(&cinfo);
        std::free(mem);
        return out;
    }

    Bgra PixelAt(const DibImage& image, int x, int y)
    {
        const uint8_t* p = image.Pixel(x, y);
        if (image.bytesPerPixel == 4)
            return Bgra { p[0], p[1], p[2], p[3] };
        return Bgra { p[0], p[1], p[2], 255 };
    }

    void SetPixel(DibImage* image, int x, int y, Bgra v)
    {
        uint8_t* p = image->Pixel(x, y);
        p[0] = v.b;
        p[1] = v.g;
        p[2] = v.r;
        if (image->bytesPerPixel == 4)
            p[3] = v.a;
    }

    std::string ToString(const Bgra& p)
    {
        char s[64];
        std::snprintf(s, sizeof s, "b%u g%u r%u a%u", p.b, p.g, p.r, p.a);
        return s;
    }

    bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (!f)
            return false;
        bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
        return std::fclose(f) == 0 && ok;
    }

} // namespace test
} // namespace zdl
