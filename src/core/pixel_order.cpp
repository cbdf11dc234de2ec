// Colour pixels between blue-first, red-first and planar rows. The shuffle versions move 15 or
// 48 bytes a step and leave the rest of a row to the plain loop; the result is the same bytes.
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

bool haveShuffles()
{
  static const bool yes = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
  }();
  return yes;
}

// Five pixels a step: 16 bytes read, the first 15 swapped, the 16th written back as it was
// (the next step or the plain loop writes it for good), so nothing past the row is touched
// and in place works.
__attribute__((target("ssse3"))) size_t swapShuffled(uint8_t* dst, const uint8_t* src, size_t pixels)
{
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  size_t done = 0;
  for (; 3 * done + 16 <= 3 * pixels; done += 5) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * done));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * done), _mm_shuffle_epi8(v, order));
  }
  return done;
}

// Sixteen pixels a step: output byte j of the 48 is plane j % 3, pixel j / 3.
__attribute__((target("ssse3"))) size_t interleaveShuffled(uint8_t* dst, const uint8_t* a, const uint8_t* b,
                                                           const uint8_t* c, size_t pixels)
{
  alignas(16) static const struct Masks {
    int8_t m[3][3][16];  // [output vector][plane][lane]
    Masks() : m()
    {
      for (int o = 0; o < 3; ++o)
        for (int p = 0; p < 3; ++p)
          for (int l = 0; l < 16; ++l) {
            const int j = 16 * o + l;
            m[o][p][l] = static_cast<int8_t>(j % 3 == p ? j / 3 : -128);
          }
    }
  } masks;
  auto mask = [](int o, int p) { return _mm_load_si128(reinterpret_cast<const __m128i*>(masks.m[o][p])); };
  size_t done = 0;
  for (; done + 16 <= pixels; done += 16) {
    const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + done));
    const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + done));
    const __m128i vc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + done));
    for (int o = 0; o < 3; ++o) {
      const __m128i v = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(va, mask(o, 0)), _mm_shuffle_epi8(vb, mask(o, 1))),
                                     _mm_shuffle_epi8(vc, mask(o, 2)));
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
  if (haveShuffles())
    done = swapShuffled(dst, src, pixels);
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
  if (haveShuffles())
    done = interleaveShuffled(dst, first, second, third, pixels);
#endif
  interleavePlain(dst + 3 * done, first + done, second + done, third + done, pixels - done);
}

}  // namespace pvk::core
