// Colour pixels between blue-first, red-first and planar rows. The shuffle versions move 5 or 16
// pixels a step and leave the rest of a row to the plain loop; the result is the same bytes.
#include "core/image_utils.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PVK_BYTE_SHUFFLES 1
#endif

namespace pvk::core {
namespace {

void swapPlain(uint8_t* dst, const uint8_t* src, size_t pixels)
{
  for (size_t k = 0; k < pixels; ++k, src += 3, dst += 3) {
    const uint8_t first = src[0], middle = src[1], third = src[2];
    dst[0] = third;
    dst[1] = middle;
    dst[2] = first;
  }
}

void interleavePlain(uint8_t* dst, const uint8_t* a, const uint8_t* b, const uint8_t* c, size_t pixels)
{
  for (size_t k = 0; k < pixels; ++k, dst += 3) {
    dst[0] = a[k];
    dst[1] = b[k];
    dst[2] = c[k];
  }
}

#ifdef PVK_BYTE_SHUFFLES

// Output byte j of a 48-byte block (16 pixels) comes from input byte 3 * (j / 3) + 2 - j % 3: the
// masks pick it out of the input vector holding it, for each output vector.
struct ShuffleMasks {
  int8_t swap[3][3][16];        // [output vector][input vector][lane]
  int8_t interleave[3][3][16];  // [output vector][plane][lane]
  ShuffleMasks() : swap(), interleave()
  {
    for (int o = 0; o < 3; ++o)
      for (int l = 0; l < 16; ++l) {
        const int j = 16 * o + l, from = 3 * (j / 3) + 2 - j % 3;
        for (int v = 0; v < 3; ++v) {
          swap[o][v][l] = static_cast<int8_t>(from / 16 == v ? from % 16 : -128);
          interleave[o][v][l] = static_cast<int8_t>(j % 3 == v ? j / 3 : -128);
        }
      }
  }
};

const ShuffleMasks& masks()
{
  static const ShuffleMasks m;
  return m;
}

__attribute__((target("ssse3"))) inline __m128i maskAt(const int8_t* lanes)
{
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(lanes));
}

// Between buffers, five pixels a step: 16 bytes read, the first 15 swapped, the 16th written as
// it was (the next step or the plain loop writes it for good), so nothing past the pixels is
// touched.
__attribute__((target("ssse3"))) size_t swapShuffledApart(uint8_t* dst, const uint8_t* src, size_t pixels)
{
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  size_t done = 0;
  for (; 3 * done + 16 <= 3 * pixels; done += 5) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * done));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * done), _mm_shuffle_epi8(v, order));
  }
  return done;
}

// Between buffers on a processor with whole-register byte permutes: 21 pixels a step, the 64th
// byte written as it was, like the 16-byte version.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) size_t swapPermutedApart(uint8_t* dst, const uint8_t* src,
                                                                                size_t pixels)
{
  // Byte j of the 63 takes byte 3 * (j / 3) + 2 - j % 3; the 64th keeps its place. A constant:
  // building it costs as much as swapping a short row.
  alignas(64) static const int8_t lanes[64] = {
      2,  1,  0,  5,  4,  3,  8,  7,  6,  11, 10, 9,  14, 13, 12, 17, 16, 15, 20, 19, 18, 23,
      22, 21, 26, 25, 24, 29, 28, 27, 32, 31, 30, 35, 34, 33, 38, 37, 36, 41, 40, 39, 44, 43,
      42, 47, 46, 45, 50, 49, 48, 53, 52, 51, 56, 55, 54, 59, 58, 57, 62, 61, 60, 63};
  const __m512i order = _mm512_load_si512(lanes);
  size_t done = 0;
  for (; 3 * done + 64 <= 3 * pixels; done += 21) {
    const __m512i v = _mm512_loadu_si512(src + 3 * done);
    _mm512_storeu_si512(dst + 3 * done, _mm512_maskz_permutexvar_epi8(~__mmask64{0}, order, v));
  }
  return done;
}

// In place, sixteen pixels a step, the three vectors of a block read before any is written (so in place
// works, and no read waits on a write just made).
__attribute__((target("ssse3"))) size_t swapShuffled(uint8_t* dst, const uint8_t* src, size_t pixels)
{
  const auto& m = masks().swap;
  const __m128i m00 = maskAt(m[0][0]), m01 = maskAt(m[0][1]), m10 = maskAt(m[1][0]), m11 = maskAt(m[1][1]),
                m12 = maskAt(m[1][2]), m21 = maskAt(m[2][1]), m22 = maskAt(m[2][2]);
  size_t done = 0;
  for (; done + 16 <= pixels; done += 16) {
    const __m128i* in = reinterpret_cast<const __m128i*>(src + 3 * done);
    const __m128i a = _mm_loadu_si128(in), b = _mm_loadu_si128(in + 1), c = _mm_loadu_si128(in + 2);
    __m128i* out = reinterpret_cast<__m128i*>(dst + 3 * done);
    _mm_storeu_si128(out, _mm_or_si128(_mm_shuffle_epi8(a, m00), _mm_shuffle_epi8(b, m01)));
    _mm_storeu_si128(out + 1, _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(a, m10), _mm_shuffle_epi8(b, m11)),
                                           _mm_shuffle_epi8(c, m12)));
    _mm_storeu_si128(out + 2, _mm_or_si128(_mm_shuffle_epi8(b, m21), _mm_shuffle_epi8(c, m22)));
  }
  return done;
}

// Sixteen pixels a step: output byte j of the 48 is plane j % 3, pixel j / 3.
__attribute__((target("ssse3"))) size_t interleaveShuffled(uint8_t* dst, const uint8_t* a, const uint8_t* b,
                                                           const uint8_t* c, size_t pixels)
{
  const auto& m = masks().interleave;
  size_t done = 0;
  for (; done + 16 <= pixels; done += 16) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + done));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + done));
    const __m128i vc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + done));
    for (int o = 0; o < 3; ++o) {
      const __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(va, maskAt(m[o][0])), _mm_shuffle_epi8(vb, maskAt(m[o][1]))),
                                     _mm_shuffle_epi8(vc, maskAt(m[o][2])));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * done + 16 * o), v);
    }
  }
  return done;
}

#endif

}  // namespace

void swapOuterBytes(uint8_t* dst, const uint8_t* src, size_t pixels)
{
  if (!dst || !src)
    return;
  size_t done = 0;
#ifdef PVK_BYTE_SHUFFLES
  if (dst != src && processorHas(Cpu::BytePermutes))
    done = swapPermutedApart(dst, src, pixels);
  if (processorHas(Cpu::ByteShuffles))
    done += dst == src ? swapShuffled(dst + 3 * done, src + 3 * done, pixels - done)
                       : swapShuffledApart(dst + 3 * done, src + 3 * done, pixels - done);
#endif
  swapPlain(dst + 3 * done, src + 3 * done, pixels - done);
}

void interleavePlanes(uint8_t* dst, const uint8_t* first, const uint8_t* second, const uint8_t* third,
                      size_t pixels)
{
  if (!dst || !first || !second || !third)
    return;
  size_t done = 0;
#ifdef PVK_BYTE_SHUFFLES
  if (processorHas(Cpu::ByteShuffles))
    done = interleaveShuffled(dst, first, second, third, pixels);
#endif
  interleavePlain(dst + 3 * done, first + done, second + done, third + done, pixels - done);
}

}  // namespace pvk::core
