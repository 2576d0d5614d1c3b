// Figures for the image operations, each against a reference measured in
// the same run:
//   AlphaBlendDib of a full 868 x 513 canvas with varied alpha, against
//     pixman's OVER on the same size (premultiplied source, as pixman takes);
//   PremultiplyDib of the canvas, against a memcpy of it;
//   decoding every image of the skin archive with a cold cache, and the
//     cache hit path of GetImage, which must not allocate.
//   bench_gfx [archive.qfa]   (default: the build's res/skin.qfa, else a
//                              synthetic archive of PNG pictures)
#include "gfx/DibImage.h"
#include "gfx/ImageCache.h"
#include "gfx/ResourceArchive.h"

#include <pixman.h>
#include <png.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

using namespace zdl;
using Clock = std::chrono::steady_clock;

// Counts every allocation made through operator new.
static std::atomic<long> allocations { 0 };
void* operator new(std::size_t n)
{
    ++allocations;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop

namespace {

constexpr int kWidth = 868;
constexpr int kHeight = 513;

template <typename F> double BestMs(int rounds, int reps, F f)
{
    double best = 1e30;
    for (int r = 0; r < rounds; ++r) {
        auto t0 = Clock::now();
        for (int i = 0; i < reps; ++i)
            f();
        double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / reps;
        if (ms < best)
            best = ms;
    }
    return best;
}

void FillVaried(DibImage* image, unsigned seed)
{
    uint32_t x = seed;
    for (int y = 0; y < image->Height(); ++y) {
        uint8_t* p = image->Row(y);
        for (int i = 0; i < image->Width() * 4; ++i) {
            x = x * 1103515245u + 12345u;
            p[i] = uint8_t(x >> 16);
        }
    }
}

void BenchBlend()
{
    DibImage src, dst;
    if (!CreateDib(&src, 32, kWidth, kHeight) || !CreateDib(&dst, 32, kWidth, kHeight))
        return;
    FillVaried(&src, 1);
    FillVaried(&dst, 2);
    double ours = BestMs(5, 40, [&] { AlphaBlendDib(src, &dst, 0, 0, kWidth, kHeight, 0, 0); });

    // pixman takes a premultiplied source; same bytes, same size.
    std::vector<uint32_t> psrc(size_t(kWidth) * kHeight), pdst(size_t(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const uint8_t* s = src.Pixel(x, y);
            uint32_t a = s[3];
            psrc[size_t(y) * kWidth + x] = a << 24 | (s[2] * a / 255) << 16 | (s[1] * a / 255) << 8 | (s[0] * a / 255);
            pdst[size_t(y) * kWidth + x] = 0xFF000000u | uint32_t(dst.Pixel(x, y)[0]);
        }
    pixman_image_t* ps = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, psrc.data(), kWidth * 4);
    pixman_image_t* pd = pixman_image_create_bits(PIXMAN_a8r8g8b8, kWidth, kHeight, pdst.data(), kWidth * 4);
    double ref = BestMs(
        5, 40, [&] { pixman_image_composite32(PIXMAN_OP_OVER, ps, nullptr, pd, 0, 0, 0, 0, 0, 0, kWidth, kHeight); });
    pixman_image_unref(ps);
    pixman_image_unref(pd);
    std::printf("AlphaBlendDib %dx%d      %8.3f ms   pixman OVER %8.3f ms   ratio %.2f (target <= 1.5)\n", kWidth,
        kHeight, ours, ref, ours / ref);
}

void BenchPremultiply()
{
    DibImage canvas;
    if (!CreateDib(&canvas, 32, kWidth, kHeight))
        return;
    FillVaried(&canvas, 3);
    std::vector<uint8_t> copy(canvas.info.header.sizeImage);
    // The loop has no branch on the pixel values, so repeating it on the
    // same canvas costs the same each time; memcpy copies a separate buffer.
    std::vector<uint8_t> fresh(canvas.bits, canvas.bits + copy.size());
    double ours = BestMs(5, 40, [&] { PremultiplyDib(&canvas); });
    double ref = BestMs(5, 40, [&] {
        std::memcpy(copy.data(), fresh.data(), copy.size());
        asm volatile("" : : "r"(copy.data()) : "memory");
    });
    std::printf("PremultiplyDib %dx%d     %8.3f ms   memcpy      %8.3f ms   ratio %.2f (target <= 3)\n", kWidth,
        kHeight, ours, ref, ours / ref);
}

void PngWrite(png_structp png, png_bytep data, png_size_t n)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}

std::vector<uint8_t> SyntheticPng(int w, int h, unsigned seed)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, PngWrite, nullptr);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE,
        PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(size_t(w) * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            row[size_t(x) * 4 + 0] = uint8_t(x + seed);
            row[size_t(x) * 4 + 1] = uint8_t(y * 2);
            row[size_t(x) * 4 + 2] = uint8_t((x ^ y) + seed);
            row[size_t(x) * 4 + 3] = uint8_t(x < 8 || y < 8 ? 0 : 255);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<uint8_t> SyntheticArchive(std::vector<std::string>* names)
{
    struct Pic {
        const char* name;
        int w, h;
    } pics[] = { { "banner.png", 600, 120 }, { "bg.png", 868, 513 }, { "char.png", 300, 420 },
        { "edit_bg.png", 300, 24 }, { "logo.png", 200, 80 }, { "msg_box.png", 488, 510 }, { "progress.png", 640, 16 },
        { "web_bg.png", 868, 513 } };
    std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
    unsigned seed = 0;
    for (const Pic& p : pics)
        files.push_back({ p.name, SyntheticPng(p.w, p.h, seed++) });
    std::vector<uint8_t> out = { 'Q', 'F', 'A', 0 };
    auto put32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(v >> (8 * i)));
    };
    put32(uint32_t(files.size()));
    uint32_t offset = 0;
    for (auto& f : files) {
        char name[64] = {};
        std::strncpy(name, f.first.c_str(), 63);
        out.insert(out.end(), name, name + 64);
        put32(offset);
        put32(uint32_t(f.second.size()));
        offset += uint32_t(f.second.size()) + 1;
        names->push_back(f.first);
    }
    for (auto& f : files) {
        out.insert(out.end(), f.second.begin(), f.second.end());
        out.push_back(0xFF);
    }
    return out;
}

bool IsImageName(const std::string& n)
{
    size_t dot = n.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string e = n.substr(dot);
    for (char& c : e)
        c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return e == ".png" || e == ".tcp" || e == ".bmp" || e == ".tga" || e == ".jpg";
}

void BenchArchive(const char* path)
{
    std::vector<uint8_t> bytes;
    std::vector<std::string> names;
    std::string source;
    if (std::FILE* f = std::fopen(path, "rb")) {
        uint8_t buf[65536];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            bytes.insert(bytes.end(), buf, buf + n);
        std::fclose(f);
        source = path;
    } else {
        bytes = SyntheticArchive(&names);
        source = "synthetic archive (no skin.qfa built)";
    }
    if (!LoadResourceArchiveFromBytes(bytes.data(), bytes.size())) {
        std::printf("archive: %s does not load\n", path);
        return;
    }
    names.clear();
    const QfaArchive& archive = ResourceArchive();
    for (uint32_t i = 0; i < archive.Count(); ++i) {
        QfaArchive::Entry e;
        if (archive.EntryAt(i, &e) && IsImageName(e.name))
            names.push_back(e.name);
    }
    double cold = BestMs(5, 1, [&] {
        ClearImageCache();
        for (const std::string& n : names)
            GetImage(n.c_str());
    });
    size_t loaded = ImageCacheSize();
    long before = allocations.load();
    const int kHits = 1000000;
    auto t0 = Clock::now();
    for (int i = 0; i < kHits; ++i)
        if (!GetImage(names[size_t(i) % names.size()].c_str()) && loaded == names.size())
            std::abort();
    double ns = std::chrono::duration<double, std::nano>(Clock::now() - t0).count() / kHits;
    long hitAllocations = allocations.load() - before;
    std::printf("archive: %s\n", source.c_str());
    std::printf("decode all %zu images, cold cache  %8.3f ms (%zu loaded)\n", names.size(), cold, loaded);
    std::printf(
        "GetImage cache hit                %8.1f ns   allocations during %d hits: %ld\n", ns, kHits, hitAllocations);
    ClearImageCache();
    UnloadResourceArchive();
}

} // namespace

int main(int argc, char** argv)
{
    std::string archive = argc > 1 ? argv[1] : std::string(ZDL_BUILD_DIR) + "/res/skin.qfa";
    BenchBlend();
    BenchPremultiply();
    BenchArchive(archive.c_str());
    return 0;
}
