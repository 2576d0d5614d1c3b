// The per-pixel loops of alpha blending and premultiplication, run over raw
// rows without the system.
//
// Arithmetic, per colour channel t of the target, s of the source, alpha a:
//   blend:        t + ((s - t) * a >> 8)  ==  (s * a + t * (256 - a)) >> 8
//   target alpha: 255 - (((255 - a) * (255 - A) + 255) >> 8)
//                 ==  (255 * a + A * (256 - a) + (255 - A)) >> 8
//   premultiply:  v * a / 255 (rounded down) == (v * a * 0x8081) >> 23
// Every intermediate fits 16 bits, a = 0 leaves the pixel unchanged and
// a = 255 leaves a premultiplied pixel unchanged, so the loops need no
// branch on pixel values. The portable loops below are what every platform
// computes; on x86 the same arithmetic runs in 16-bit vector lanes (SSE2,
// and AVX2 where the processor has it), because the compiler's own
// vectorisation of the interleaved four-channel rows stays several times
// slower. The vector paths give bit-identical results; the tests compare
// them with the portable loops over every alpha. They are compiled for any
// x86 target through function attributes and chosen at run time, so the
// 32-bit build, whose baseline has no SSE2, uses them too.
#include "gfx/DibImage.h"
#include "gfx/DibRows.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ZDL_BLEND_X86 1
#endif

namespace zdl {

// ---- portable loops ----

void BlendRow32Portable(uint8_t* __restrict dst, const uint8_t* __restrict src, int count)
{
    for (int i = 0; i < count * 4; i += 4) {
        uint16_t a = src[i + 3];
        uint16_t na = static_cast<uint16_t>(256 - a);
        dst[i + 0] = static_cast<uint8_t>((src[i + 0] * a + dst[i + 0] * na) >> 8);
        dst[i + 1] = static_cast<uint8_t>((src[i + 1] * a + dst[i + 1] * na) >> 8);
        dst[i + 2] = static_cast<uint8_t>((src[i + 2] * a + dst[i + 2] * na) >> 8);
        uint16_t ta = static_cast<uint16_t>(255 - dst[i + 3]);
        dst[i + 3] = static_cast<uint8_t>(255 - ((static_cast<uint16_t>(255 - a) * ta + 255) >> 8));
    }
}

void PremultiplyRow32Portable(uint8_t* __restrict row, int count)
{
    for (int i = 0; i < count * 4; i += 4) {
        uint32_t a = row[i + 3];
        for (int c = 0; c < 3; ++c)
            row[i + c] = static_cast<uint8_t>((row[i + c] * a * 0x8081u) >> 23);
    }
}

void BlendRow32To24(uint8_t* __restrict dst, const uint8_t* __restrict src, int count)
{
    for (int i = 0; i < count; ++i) {
        uint16_t a = src[i * 4 + 3];
        uint16_t na = static_cast<uint16_t>(256 - a);
        dst[i * 3 + 0] = static_cast<uint8_t>((src[i * 4 + 0] * a + dst[i * 3 + 0] * na) >> 8);
        dst[i * 3 + 1] = static_cast<uint8_t>((src[i * 4 + 1] * a + dst[i * 3 + 1] * na) >> 8);
        dst[i * 3 + 2] = static_cast<uint8_t>((src[i * 4 + 2] * a + dst[i * 3 + 2] * na) >> 8);
    }
}

#if ZDL_BLEND_X86

// ---- SSE2: four pixels at a time, two halves of 16-bit lanes ----

namespace {

#define ZDL_SSE2 __attribute__((target("sse2")))
#define ZDL_AVX2 __attribute__((target("avx2")))

    // Lanes b g r a b g r a of target |t| and source |s|; see the header comment.
    ZDL_SSE2 inline __m128i BlendHalf(__m128i s, __m128i t, __m128i alphaLanes)
    {
        const __m128i c255 = _mm_set1_epi16(255);
        __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(s, 0xFF), 0xFF);
        __m128i na = _mm_sub_epi16(_mm_set1_epi16(256), a);
        __m128i src = _mm_or_si128(s, alphaLanes); // 255 in the alpha lanes
        __m128i k = _mm_and_si128(_mm_sub_epi16(c255, t), alphaLanes);
        __m128i x = _mm_add_epi16(_mm_mullo_epi16(src, a), _mm_mullo_epi16(t, na));
        return _mm_srli_epi16(_mm_add_epi16(x, k), 8);
    }

    ZDL_SSE2 inline __m128i PremultiplyHalf(__m128i x, __m128i alphaLanes)
    {
        // Factor a a a 255: multiplying the alpha by 255 and dividing gives it back.
        __m128i f = _mm_or_si128(_mm_shufflehi_epi16(_mm_shufflelo_epi16(x, 0xFF), 0xFF), alphaLanes);
        return _mm_srli_epi16(_mm_mulhi_epu16(_mm_mullo_epi16(x, f), _mm_set1_epi16(short(0x8081))), 7);
    }

    ZDL_SSE2 void BlendRow32Sse2(uint8_t* __restrict dst, const uint8_t* __restrict src, int count)
    {
        const __m128i zero = _mm_setzero_si128();
        const __m128i alphaLanes = _mm_set_epi16(255, 0, 0, 0, 255, 0, 0, 0);
        int i = 0;
        for (; i + 4 <= count; i += 4) {
            __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 4));
            __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i * 4));
            __m128i lo = BlendHalf(_mm_unpacklo_epi8(s, zero), _mm_unpacklo_epi8(t, zero), alphaLanes);
            __m128i hi = BlendHalf(_mm_unpackhi_epi8(s, zero), _mm_unpackhi_epi8(t, zero), alphaLanes);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i * 4), _mm_packus_epi16(lo, hi));
        }
        BlendRow32Portable(dst + i * 4, src + i * 4, count - i);
    }

    ZDL_SSE2 void PremultiplyRow32Sse2(uint8_t* __restrict row, int count)
    {
        const __m128i zero = _mm_setzero_si128();
        const __m128i alphaLanes = _mm_set_epi16(255, 0, 0, 0, 255, 0, 0, 0);
        int i = 0;
        for (; i + 4 <= count; i += 4) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i * 4));
            __m128i lo = PremultiplyHalf(_mm_unpacklo_epi8(v, zero), alphaLanes);
            __m128i hi = PremultiplyHalf(_mm_unpackhi_epi8(v, zero), alphaLanes);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(row + i * 4), _mm_packus_epi16(lo, hi));
        }
        PremultiplyRow32Portable(row + i * 4, count - i);
    }

    // ---- AVX2: eight pixels at a time. The remainder runs in the same
    // function (no call while the upper register halves are in use). ----

    ZDL_AVX2 inline __m256i BlendHalf256(__m256i s, __m256i t, __m256i alphaLanes)
    {
        const __m256i c255 = _mm256_set1_epi16(255);
        __m256i a = _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(s, 0xFF), 0xFF);
        __m256i na = _mm256_sub_epi16(_mm256_set1_epi16(256), a);
        __m256i src = _mm256_or_si256(s, alphaLanes);
        __m256i k = _mm256_and_si256(_mm256_sub_epi16(c255, t), alphaLanes);
        __m256i x = _mm256_add_epi16(_mm256_mullo_epi16(src, a), _mm256_mullo_epi16(t, na));
        return _mm256_srli_epi16(_mm256_add_epi16(x, k), 8);
    }

    ZDL_AVX2 void BlendRow32Avx2(uint8_t* __restrict dst, const uint8_t* __restrict src, int count)
    {
        const __m256i zero = _mm256_setzero_si256();
        const __m256i alphaLanes = _mm256_set_epi16(255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0);
        int i = 0;
        for (; i + 8 <= count; i += 8) {
            __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i * 4));
            __m256i t = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dst + i * 4));
            __m256i lo = BlendHalf256(_mm256_unpacklo_epi8(s, zero), _mm256_unpacklo_epi8(t, zero), alphaLanes);
            __m256i hi = BlendHalf256(_mm256_unpackhi_epi8(s, zero), _mm256_unpackhi_epi8(t, zero), alphaLanes);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i * 4), _mm256_packus_epi16(lo, hi));
        }
        for (int k = i * 4; k < count * 4; k += 4) {
            uint16_t a = src[k + 3];
            uint16_t na = static_cast<uint16_t>(256 - a);
            dst[k + 0] = static_cast<uint8_t>((src[k + 0] * a + dst[k + 0] * na) >> 8);
            dst[k + 1] = static_cast<uint8_t>((src[k + 1] * a + dst[k + 1] * na) >> 8);
            dst[k + 2] = static_cast<uint8_t>((src[k + 2] * a + dst[k + 2] * na) >> 8);
            uint16_t ta = static_cast<uint16_t>(255 - dst[k + 3]);
            dst[k + 3] = static_cast<uint8_t>(255 - ((static_cast<uint16_t>(255 - a) * ta + 255) >> 8));
        }
    }

    ZDL_AVX2 void PremultiplyRow32Avx2(uint8_t* __restrict row, int count)
    {
        const __m256i zero = _mm256_setzero_si256();
        const __m256i alphaLanes = _mm256_set_epi16(255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0);
        const __m256i magic = _mm256_set1_epi16(short(0x8081));
        int i = 0;
        for (; i + 8 <= count; i += 8) {
            __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + i * 4));
            __m256i x[2] = { _mm256_unpacklo_epi8(v, zero), _mm256_unpackhi_epi8(v, zero) };
            for (__m256i& h : x) {
                __m256i f = _mm256_or_si256(_mm256_shufflehi_epi16(_mm256_shufflelo_epi16(h, 0xFF), 0xFF), alphaLanes);
                h = _mm256_srli_epi16(_mm256_mulhi_epu16(_mm256_mullo_epi16(h, f), magic), 7);
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + i * 4), _mm256_packus_epi16(x[0], x[1]));
        }
        for (int k = i * 4; k < count * 4; k += 4) {
            uint32_t a = row[k + 3];
            for (int c = 0; c < 3; ++c)
                row[k + c] = static_cast<uint8_t>((row[k + c] * a * 0x8081u) >> 23);
        }
    }

    bool HasAvx2()
    {
        static const bool has = __builtin_cpu_supports("avx2");
        return has;
    }

    bool HasSse2()
    {
#if defined(__x86_64__)
        return true;
#else
        static const bool has = __builtin_cpu_supports("sse2");
        return has;
#endif
    }

} // namespace

#endif // ZDL_BLEND_X86

RowKernels ActiveRowKernels()
{
#if ZDL_BLEND_X86
    if (HasAvx2())
        return RowKernels { BlendRow32Avx2, PremultiplyRow32Avx2, "avx2" };
    if (HasSse2())
        return RowKernels { BlendRow32Sse2, PremultiplyRow32Sse2, "sse2" };
#endif
    return RowKernels { BlendRow32Portable, PremultiplyRow32Portable, "portable" };
}

std::vector<RowKernels> AllRowKernels()
{
    std::vector<RowKernels> all = { { BlendRow32Portable, PremultiplyRow32Portable, "portable" } };
#if ZDL_BLEND_X86
    if (HasSse2())
        all.push_back({ BlendRow32Sse2, PremultiplyRow32Sse2, "sse2" });
    if (HasAvx2())
        all.push_back({ BlendRow32Avx2, PremultiplyRow32Avx2, "avx2" });
#endif
    return all;
}

static const RowKernels& Kernels()
{
    static const RowKernels kernels = ActiveRowKernels();
    return kernels;
}

void AlphaBlendDib(const DibImage& src, DibImage* dst, int x, int y, int w, int h, int sx, int sy)
{
    if (src.Empty() || dst->Empty())
        return;
    if (src.BitsPerPixel() != 32) {
        BlitDib(src, dst, x, y, w, h, sx, sy);
        return;
    }
    if (!ClipBlendRect(src, *dst, &x, &y, &w, &h, &sx, &sy))
        return;
    const bool toAlpha = dst->BitsPerPixel() == 32;
    if (!toAlpha && dst->BitsPerPixel() != 24)
        return;
    const auto blend = Kernels().blend;
    for (int r = 0; r < h; ++r) {
        const uint8_t* s = src.Pixel(sx, sy + r);
        uint8_t* d = dst->Pixel(x, y + r);
        if (toAlpha)
            blend(d, s, w);
        else
            BlendRow32To24(d, s, w);
    }
}

void PremultiplyDib(DibImage* image)
{
    if (image->Empty() || image->BitsPerPixel() != 32)
        return;
    const auto premultiply = Kernels().premultiply;
    // Rows are contiguous whole pixels (stride = 4 * width): one pass.
    premultiply(image->bits, image->Width() * image->Height());
}

void PremultiplyDibRect(DibImage* image, const DibRect& rect)
{
    if (image->Empty() || image->BitsPerPixel() != 32)
        return;
    const int left = std::max(rect.left, 0), right = std::min(rect.right, image->Width());
    const int top = std::max(rect.top, 0), bottom = std::min(rect.bottom, image->Height());
    if (left >= right)
        return;
    const auto premultiply = Kernels().premultiply;
    for (int y = top; y < bottom; ++y)
        premultiply(image->Pixel(left, y), right - left);
}

} // namespace zdl
