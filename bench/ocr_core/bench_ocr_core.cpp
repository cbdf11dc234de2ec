// Time of the OCR engine core, each beside a reference measured in the same run: segmenting a
// codeline band (point filter, labelling, lines) against connectedComponentsWithStats on the same
// pixels, and recognising one block on a 1,000-template store against a plain scan of the store
// that XORs each template with the cell and counts the bits.
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

#include "ocr/ocr.h"
#include "../bench_timing.h"

using pvk::bench::Clock;

namespace {

using pvk::bench::us;

using pvk::bench::median;

// A codeline band at 300 dpi: 60 characters of 24 x 36 pixels drawn as bars and rings, with specks.
std::vector<uint32_t> codelineBand(int w, int h) {
  std::vector<uint32_t> band(static_cast<size_t>(w) * h, 0);
  auto rect = [&](int t, int l, int b, int r, uint32_t v) {
    for (int y = t; y < b; ++y)
      for (int x = l; x < r; ++x) band[static_cast<size_t>(y) * w + x] = v;
  };
  std::mt19937 rng(7);
  for (int k = 0; k < 60; ++k) {
    const int left = 40 + k * 38, top = 42;
    switch (rng() % 3) {
      case 0: rect(top, left, top + 36, left + 24, 1), rect(top + 5, left + 5, top + 31, left + 19, 0); break;
      case 1: rect(top, left + 9, top + 36, left + 15, 1), rect(top, left, top + 5, left + 24, 1); break;
      default: rect(top, left, top + 5, left + 24, 1), rect(top + 16, left, top + 21, left + 24, 1),
                   rect(top + 31, left, top + 36, left + 24, 1), rect(top, left, top + 36, left + 5, 1);
    }
  }
  for (int k = 0; k < 400; ++k) band[(rng() % (h - 2) + 1) * static_cast<size_t>(w) + rng() % (w - 2) + 1] = 1;
  return band;
}

void benchSegmentation() {
  const int w = 2400, h = 120;
  const std::vector<uint32_t> band = codelineBand(w, h);
  cv::Mat img(h, w, CV_8U);
  for (int i = 0; i < w * h; ++i) img.data[i] = band[i] != 0 ? 255 : 0;
  MyOcr.currentFont = 4;
  MyOcr.engineScale = 1.0f;
  MyOcr.charHeight = 36;
  MyOcr.charWidth = 24;
  std::vector<uint32_t> work;
  const double engine = median(31, [&] {
    work = band;
    const auto t0 = Clock::now();
    ocr_pre_process(work.data(), static_cast<uint16_t>(w), static_cast<uint16_t>(h));
    return us(Clock::now() - t0);
  });
  const unsigned blocks = lastblock - 1, lines = num_of_lines;
  cv::Mat labels, stats, centroids;
  int peer = 0;
  const double reference = median(31, [&] {
    const auto t0 = Clock::now();
    peer = cv::connectedComponentsWithStats(img, labels, stats, centroids, 8, CV_32S);
    return us(Clock::now() - t0);
  });
  std::printf("segmentation of a %dx%d band: %.0f us (%u blocks, %u lines); connectedComponentsWithStats %.0f us "
              "(%d components); ratio %.2f\n",
              w, h, engine, blocks, lines, reference, peer - 1, engine / reference);
}

void benchRecognition() {
  constexpr unsigned kTemplates = 1000;
  std::mt19937 rng(3);
  for (unsigned j = 1; j <= kTemplates; ++j) {
    data_ascii[j] = static_cast<unsigned char>('A' + j % 26);
    pDB[j] = nullptr;
    // Three solid strokes per template, like the bars and bowls of a glyph.
    for (int r = 0; r < 32; ++r) data_std_bbk[j][r] = 0;
    for (int k = 0; k < 3; ++k) {
      const int top = static_cast<int>(rng() % 24), left = static_cast<int>(rng() % 24);
      const int bottom = top + 4 + static_cast<int>(rng() % (28 - top)), cols = 4 + static_cast<int>(rng() % 8);
      for (int r = top; r < bottom && r < 32; ++r) data_std_bbk[j][r] |= (0xFFFFFFFFu << (32 - cols)) >> left;
    }
  }
  dfnchars = kTemplates + 1;
  TmpSet.fill(1);
  ValidSet = TmpSet.data();
  MyOcr.currentFont = 9;
  minW = minH = 1;
  maxW = maxH = 1000;
  // The block: a solid 30 x 40 patch, its cell close to template 500.
  std::vector<uint32_t> image(64 * 64, 0);
  for (int y = 4; y < 44; ++y)
    for (int x = 4; x < 34; ++x) image[y * 64 + x] = 1;
  imag = image.data();
  width = 64;
  height = 64;
  tblk[1] = BlockRec{4, 4, 44, 34, 0, 0, 24, 19};
  uint32_t cell[32];
  for (int r = 0; r < 32; ++r) cell[r] = data_std_bbk[500][r] ^ (r % 4 == 0 ? 0x00100000u : 0u);
  char c = 0;
  const int reps = 200;
  const double engine = median(15, [&] {
    const auto t0 = Clock::now();
    for (int i = 0; i < reps; ++i) {
      unsigned char conf = 0, db = 0;
      c = recognize_char(1, cell, conf, db);
    }
    return us(Clock::now() - t0) / reps;
  });
  unsigned best = 0;
  const double reference = median(15, [&] {
    const auto t0 = Clock::now();
    for (int i = 0; i < reps; ++i) {
      uint32_t least = 1025;
      for (unsigned j = 1; j <= kTemplates; ++j) {
        uint32_t d = 0;
        for (int r = 0; r < 32; ++r) d += static_cast<uint32_t>(__builtin_popcount(cell[r] ^ data_std_bbk[j][r]));
        if (d < least) least = d, best = j;
      }
    }
    return us(Clock::now() - t0) / reps;
  });
  std::printf("recognize_char on %u templates: %.1f us (read '%c'); XOR-and-popcount scan %.1f us (slot %u); "
              "ratio %.2f\n",
              kTemplates, engine, c, reference, best, engine / reference);
}

}  // namespace

int main() {
  benchSegmentation();
  benchRecognition();
  return 0;
}
