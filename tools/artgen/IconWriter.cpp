#include "tools/artgen/IconWriter.h"

#include <cstdint>
#include <cstdio>

namespace artgen {

namespace {

    void Put16(std::vector<uint8_t>& out, uint32_t v)
    {
        out.push_back(v & 0xFF);
        out.push_back((v >> 8) & 0xFF);
    }
    void Put32(std::vector<uint8_t>& out, uint32_t v)
    {
        Put16(out, v & 0xFFFF);
        Put16(out, v >> 16);
    }

    cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length)
    {
        auto* out = static_cast<std::vector<uint8_t>*>(closure);
        out->insert(out->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
    }

    // BITMAPINFOHEADER, bottom-up straight-alpha BGRA rows, then the AND mask.
    std::vector<uint8_t> DibImage(const Canvas& canvas)
    {
        int size = canvas.width();
        cairo_surface_flush(canvas.surface());
        const uint8_t* data = cairo_image_surface_get_data(canvas.surface());
        int stride = cairo_image_surface_get_stride(canvas.surface());
        int maskStride = ((size + 31) / 32) * 4;
        std::vector<uint8_t> out;
        Put32(out, 40);
        Put32(out, size);
        Put32(out, size * 2); // colour rows and mask rows
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, 0); // BI_RGB
        Put32(out, size * size * 4 + maskStride * size);
        Put32(out, 0);
        Put32(out, 0);
        Put32(out, 0);
        Put32(out, 0);
        for (int y = size - 1; y >= 0; --y) {
            const uint8_t* p = data + y * stride;
            for (int x = 0; x < size; ++x, p += 4) {
                uint8_t a = p[3];
                for (int ch = 0; ch < 3; ++ch) {
                    out.push_back(a ? static_cast<uint8_t>((p[ch] * 255 + a / 2) / a) : 0);
                }
                out.push_back(a);
            }
        }
        for (int y = size - 1; y >= 0; --y) {
            std::vector<uint8_t> row(maskStride, 0);
            const uint8_t* p = data + y * stride;
            for (int x = 0; x < size; ++x) {
                if (p[x * 4 + 3] == 0)
                    row[x / 8] |= 0x80 >> (x % 8);
            }
            out.insert(out.end(), row.begin(), row.end());
        }
        return out;
    }

} // namespace

bool WriteIcon(const std::string& path, const std::vector<const Canvas*>& images)
{
    std::vector<std::vector<uint8_t>> blobs;
    for (const Canvas* image : images) {
        std::vector<uint8_t> blob;
        if (image->width() >= 256) {
            cairo_surface_flush(image->surface());
            if (cairo_surface_write_to_png_stream(image->surface(), AppendBytes, &blob) != CAIRO_STATUS_SUCCESS) {
                return false;
            }
        } else {
            blob = DibImage(*image);
        }
        blobs.push_back(std::move(blob));
    }
    std::vector<uint8_t> out;
    Put16(out, 0);
    Put16(out, 1); // icon
    Put16(out, static_cast<uint32_t>(images.size()));
    uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        int size = images[i]->width();
        out.push_back(size >= 256 ? 0 : static_cast<uint8_t>(size));
        out.push_back(size >= 256 ? 0 : static_cast<uint8_t>(size));
        out.push_back(0); // no palette
        out.push_back(0);
        Put16(out, 1); // planes
        Put16(out, 32); // bits per pixel
        Put32(out, static_cast<uint32_t>(blobs[i].size()));
        Put32(out, offset);
        offset += static_cast<uint32_t>(blobs[i].size());
    }
    for (const auto& blob : blobs)
        out.insert(out.end(), blob.begin(), blob.end());
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace artgen
