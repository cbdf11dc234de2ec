// Separation of hand-laid raw streams of every layout, in place, with stream-shift and noise
// repair and the magnetic samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "acquisition/acquisition.h"

using namespace pvk::acquisition;

namespace {

// A pixel value that says where it belongs; never 0 (the aligner marker) and never dark.
uint8_t pix(uint32_t line, uint32_t plane, uint32_t side, uint32_t x) {
  return static_cast<uint8_t>(100 + (line * 7 + plane * 31 + side * 13 + x * 3) % 150);
}

uint8_t micrByte(uint32_t line, uint32_t plane, uint32_t k) {
  return static_cast<uint8_t>(line * 16 + plane * 4 + k);
}

// Lays out one raw line as the scanner sends it.
std::vector<uint8_t> rawLine(const StreamGeometry& g, uint32_t line) {
  std::vector<uint8_t> v;
  const uint32_t S = g.sensorPixels;
  for (uint32_t p = 0; p < g.planes; ++p) {
    auto micr = [&] {
      for (uint32_t k = 0; k < g.micrPerSlot; ++k) v.push_back(micrByte(line, p, k));
    };
    if (g.layout == StreamLayout::MicrCurrent) micr();
    if (g.layout == StreamLayout::MicrOlder) {
      v.push_back(pix(line, p, 0, 0));
      micr();
      v.push_back(pix(line, p, 1, 0));
      for (uint32_t x = 1; x < S; ++x) {
        v.push_back(pix(line, p, 0, x));
        v.push_back(pix(line, p, 1, x));
      }
      continue;
    }
    for (uint32_t x = 0; x < S; ++x) {
      v.push_back(pix(line, p, 0, x));
      v.push_back(pix(line, p, 1, x));
    }
    if (g.layout == StreamLayout::Backlight && g.micrInBacklight) micr();
  }
  if (g.layout == StreamLayout::Backlight)
    for (uint32_t x = 0; x < S; ++x) v.push_back(pix(line, 9, 2, x));
  return v;
}

struct Samples {
  uint8_t* buf = nullptr;
  uint64_t count = 0;
  uint64_t cap = 0;
  MicrSink sink{&buf, &count, &cap};
  ~Samples() { std::free(buf); }
};

// Runs the separation in place: one output row of margin, then the raw lines.
std::vector<uint8_t> separateInPlace(const StreamGeometry& g, uint32_t lines, Samples* s,
                                     SeparationState& st, uint64_t* done = nullptr) {
  std::vector<uint8_t> stream;
  for (uint32_t i = 0; i < lines; ++i) {
    auto l = rawLine(g, i);
    stream.insert(stream.end(), l.begin(), l.end());
  }
  std::vector<uint8_t> buf(g.outRowBytes() + stream.size());
  std::copy(stream.begin(), stream.end(), buf.begin() + g.outRowBytes());
  uint64_t n = separateStream(g, st, buf.data() + g.outRowBytes(), stream.size(), buf.data(),
                              buf.size(), lines, s ? &s->sink : nullptr);
  if (done) *done = n;
  return buf;
}

void expectSeparated(const StreamGeometry& g, const std::vector<uint8_t>& buf, uint32_t lines) {
  const uint32_t S = g.sensorPixels;
  for (uint32_t i = 0; i < lines; ++i) {
    const uint8_t* row = buf.data() + i * g.outRowBytes();
    for (uint32_t p = 0; p < g.planes; ++p)
      for (uint32_t side = 0; side < 2; ++side)
        for (uint32_t x = 0; x < S; ++x)
          ASSERT_EQ(row[p * 2 * S + side * S + x], pix(i, p, side, x))
              << "line " << i << " plane " << p << " side " << side << " x " << x;
    if (g.layout == StreamLayout::Backlight) {
      for (uint32_t x = 0; x < S; ++x) ASSERT_EQ(row[g.planes * 2 * S + x], pix(i, 9, 2, x));
    }
  }
}

StreamGeometry geometry(StreamLayout layout, uint32_t planes, uint32_t micr) {
  StreamGeometry g{};
  g.layout = layout;
  g.sensorPixels = 40;
  g.planes = planes;
  g.micrPerSlot = micr;
  g.micrInBacklight = micr != 0;
  g.trimWidth = 40;
  return g;
}

}  // namespace

TEST(Separation, EveryLayoutPutsEveryPixelAndSampleWhereItBelongs) {
  struct Case {
    StreamLayout layout;
    uint32_t planes, micr;
  } cases[] = {{StreamLayout::Plain, 1, 0},       {StreamLayout::Plain, 3, 0},
               {StreamLayout::MicrCurrent, 3, 2}, {StreamLayout::MicrOlder, 1, 3},
               {StreamLayout::Backlight, 3, 0},   {StreamLayout::Backlight, 1, 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.layout) * 100 + c.planes * 10 + c.micr);
    StreamGeometry g = geometry(c.layout, c.planes, c.micr);
    Samples s;
    SeparationState st;
    uint64_t done = 0;
    auto buf = separateInPlace(g, 6, &s, st, &done);
    EXPECT_EQ(done, 6u);
    expectSeparated(g, buf, 6);
    ASSERT_EQ(s.count, 6u * c.planes * c.micr);
    size_t k = 0;
    for (uint32_t i = 0; i < 6; ++i)
      for (uint32_t p = 0; p < c.planes; ++p)
        for (uint32_t m = 0; m < c.micr; ++m) EXPECT_EQ(s.buf[k++], micrByte(i, p, m));
  }
}

// Pairs are split sixteen at a time where the processor allows: widths around those blocks.
TEST(Separation, EveryWidthAroundTheVectorBlocks) {
  for (uint32_t width : {1u, 15u, 16u, 17u, 31u, 32u, 33u, 250u, 2592u}) {
    SCOPED_TRACE(width);
    for (StreamLayout layout : {StreamLayout::Plain, StreamLayout::MicrCurrent, StreamLayout::Backlight}) {
      StreamGeometry g = geometry(layout, 3, layout == StreamLayout::Plain ? 0 : 3);
      g.sensorPixels = g.trimWidth = width;
      SeparationState st;
      auto buf = separateInPlace(g, 3, nullptr, st);
      expectSeparated(g, buf, 3);
    }
  }
}

TEST(Separation, LayoutChoiceAndLineSizes) {
  EXPECT_EQ(layoutFor(false, false, 0x3103, 9), StreamLayout::Plain);
  EXPECT_EQ(layoutFor(true, false, 0x3108, 9), StreamLayout::MicrCurrent);
  EXPECT_EQ(layoutFor(true, false, 0x3107, 9), StreamLayout::MicrOlder);
  EXPECT_EQ(layoutFor(true, false, 0x3105, 0x000B), StreamLayout::MicrCurrent);
  EXPECT_EQ(layoutFor(true, false, 0x3104, 0x000B), StreamLayout::MicrOlder);
  EXPECT_EQ(layoutFor(true, true, 0x3108, 9), StreamLayout::Backlight);
  StreamGeometry g = geometry(StreamLayout::Backlight, 3, 2);
  EXPECT_EQ(g.rawLineBytes(), 3u * (80 + 2) + 40);
  EXPECT_EQ(g.outRowBytes(), 3u * 80 + 40);
}

TEST(Separation, ShortStreamAndShortOutputStopAtWholeLines) {
  StreamGeometry g = geometry(StreamLayout::Plain, 1, 0);
  std::vector<uint8_t> raw(g.rawLineBytes() * 2 + 10, 120);
  std::vector<uint8_t> out(g.outRowBytes() * 3);
  SeparationState st;
  EXPECT_EQ(separateStream(g, st, raw.data(), raw.size(), out.data(), out.size(), 5, nullptr), 2u);
  SeparationState st2;
  EXPECT_EQ(separateStream(g, st2, raw.data(), raw.size(), out.data(), g.outRowBytes(), 2, nullptr),
            1u);
}

TEST(Separation, LineAlignerMarkerRepairsShiftsOfSeveralBytes) {
  StreamGeometry g = geometry(StreamLayout::Plain, 2, 0);
  // The aligner puts 0 in the first byte of each slot (front pixel 0).
  auto line = [&](uint32_t i) {
    auto l = rawLine(g, i);
    for (uint32_t p = 0; p < g.planes; ++p) l[p * g.slotBytes()] = 0;
    return l;
  };
  for (int shift : {3, -2}) {
    SCOPED_TRACE(shift);
    std::vector<uint8_t> stream;
    for (uint32_t i = 0; i < 6; ++i) {
      auto l = line(i);
      if (i == 2 && shift > 0) stream.insert(stream.end(), shift, 77);  // bytes too many
      if (i == 2 && shift < 0) stream.resize(stream.size() + shift);     // bytes lost
      stream.insert(stream.end(), l.begin(), l.end());
    }
    std::vector<uint8_t> out(g.outRowBytes() * 6);
    SeparationState st;
    st.aligner = true;
    uint64_t lines = stream.size() / g.rawLineBytes();
    uint64_t done = separateStream(g, st, stream.data(), stream.size(), out.data(), out.size(),
                                   lines, nullptr);
    EXPECT_EQ(st.glitchOffset, shift);
    EXPECT_EQ(done, shift > 0 ? 6u : 5u);
    for (uint32_t i = 0; i < done && i < 6; ++i) {
      if (shift < 0 && i == 1) continue;  // this line lost its last bytes
      for (uint32_t p = 0; p < g.planes; ++p)
        for (uint32_t x = 1; x < g.sensorPixels; ++x) {
          ASSERT_EQ(out[i * g.outRowBytes() + p * 80 + x], pix(i, p, 0, x)) << i;
          ASSERT_EQ(out[i * g.outRowBytes() + p * 80 + 40 + x], pix(i, p, 1, x)) << i;
        }
    }
  }
}

TEST(Separation, LineAlignerLooksForItsMarkerLessThanATrimWidthAway) {
  // One plane of 40 pixels: slots and raw lines of 80 bytes, the marker in each slot's first
  // byte. Lines 0 to 3; line 2's slot starts at byte 160 of an unshifted stream.
  StreamGeometry g = geometry(StreamLayout::Plain, 1, 0);
  struct Case {
    const char* name;
    int extra;        // bytes inserted (> 0) or lost (< 0) just before line 2
    int strayAt;      // a stray 0 at this byte of the final stream (-1: none)
    uint32_t lines;   // lines separated; with 4, line 3 has lost its marker
    int offset;       // the offset found
  };
  const Case cases[] = {
      {"one byte late", 1, -1, 3, 1},
      {"a trim width less one late", 39, -1, 3, 39},
      {"a trim width late: out of reach", 40, -1, 3, 0},
      {"one byte early", -1, -1, 3, -1},
      {"a trim width less one early", -39, -1, 3, -39},
      {"a trim width early: out of reach", -40, -1, 3, 0},
      {"a 0 ahead is taken before the marker behind", -2, 165, 3, 5},
      // Line 3's slot ends the stream: a 0 inside it would put the slot past the end.
      {"nothing ahead when the slot ends the stream", 0, 245, 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> stream;
    for (uint32_t i = 0; i < 4; ++i) {
      auto l = rawLine(g, i);
      l[0] = i == 3 && c.lines == 4 ? 1 : 0;
      if (i == 2 && c.extra > 0) stream.insert(stream.end(), c.extra, 77);
      if (i == 2 && c.extra < 0) stream.resize(stream.size() + c.extra);
      stream.insert(stream.end(), l.begin(), l.end());
    }
    if (c.strayAt >= 0) stream[c.strayAt] = 0;
    std::vector<uint8_t> out(g.outRowBytes() * 5);
    SeparationState st;
    st.aligner = true;
    EXPECT_EQ(separateStream(g, st, stream.data(), stream.size(), out.data(), out.size(), c.lines, nullptr), c.lines);
    EXPECT_EQ(st.glitchOffset, c.offset);
  }
}

TEST(Separation, AlignedStreamsComeOutInPlaceAsIntoABufferOfTheirOwn) {
  // Streams with bytes inserted and lost before random lines, and stray zeros: separated in
  // place behind one row of margin, as in the acquisition buffer, and into a separate buffer.
  std::mt19937 rng(5);
  for (uint32_t planes : {1u, 3u}) {
    for (int round = 0; round < 40; ++round) {
      SCOPED_TRACE(testing::Message() << planes << " planes, round " << round);
      StreamGeometry g = geometry(StreamLayout::Plain, planes, 0);
      std::vector<uint8_t> stream;
      for (uint32_t i = 0; i < 30; ++i) {
        auto l = rawLine(g, i);
        for (uint32_t p = 0; p < planes; ++p) l[p * g.slotBytes()] = 0;
        const int shift = static_cast<int>(rng() % 31) - 15;
        if (i > 0 && rng() % 4 == 0) {
          if (shift > 0) stream.insert(stream.end(), shift, 77);
          if (shift < 0) stream.resize(stream.size() + shift);
        }
        stream.insert(stream.end(), l.begin(), l.end());
      }
      for (int k = 0; k < 3; ++k) stream[rng() % stream.size()] = 0;
      const uint64_t lines = stream.size() / g.rawLineBytes();
      SeparationState own;
      own.aligner = true;
      std::vector<uint8_t> apart(g.outRowBytes() * lines);
      std::vector<uint8_t> source = stream;
      const uint64_t n = separateStream(g, own, source.data(), source.size(), apart.data(), apart.size(), lines,
                                        nullptr);
      SeparationState inPlace;
      inPlace.aligner = true;
      std::vector<uint8_t> buf(g.outRowBytes() + stream.size());
      std::copy(stream.begin(), stream.end(), buf.begin() + g.outRowBytes());
      EXPECT_EQ(separateStream(g, inPlace, buf.data() + g.outRowBytes(), stream.size(), buf.data(), buf.size(),
                               lines, nullptr),
                n);
      EXPECT_EQ(inPlace.glitchOffset, own.glitchOffset);
      ASSERT_TRUE(std::equal(apart.begin(), apart.begin() + static_cast<long>(n * g.outRowBytes()), buf.begin()));
    }
  }
}

TEST(Separation, ShiftsAreLeftAloneOutsideADocumentAndOnTheFirstLine) {
  StreamGeometry g = geometry(StreamLayout::Plain, 1, 0);
  std::vector<uint8_t> stream;
  for (uint32_t i = 0; i < 3; ++i) {
    auto l = rawLine(g, i);
    stream.insert(stream.end(), l.begin(), l.end());
  }
  stream[2] = 0;  // a stray 0 right after the first byte of the first line
  std::vector<uint8_t> out(g.outRowBytes() * 3);
  SeparationState st;
  st.aligner = true;
  separateStream(g, st, stream.data(), stream.size(), out.data(), out.size(), 3, nullptr);
  EXPECT_EQ(st.glitchOffset, 0);
  SeparationState move;
  move.aligner = true;
  move.normalDocument = false;
  stream[g.rawLineBytes() + 2] = 0;
  separateStream(g, move, stream.data(), stream.size(), out.data(), out.size(), 3, nullptr);
  EXPECT_EQ(move.glitchOffset, 0);
}

TEST(Glitch, OneByteShiftsAreDetectedAndTheOffsetIsBounded) {
  const uint32_t len = 400;
  std::vector<uint8_t> prev(len + 2), cur(len + 2);
  for (uint32_t j = 0; j < prev.size(); ++j) prev[j] = static_cast<uint8_t>((j * 37) % 200 + 20);
  // The current line arrives one byte late: cur[j - 1] matches prev[j].
  // A little sensor noise: a perfect match is not taken for a shift.
  auto noisy = [&] {
    for (uint32_t j = 0; j < cur.size(); j += 2) cur[j] = static_cast<uint8_t>(cur[j] + 1);
  };
  for (uint32_t j = 1; j < cur.size(); ++j) cur[j - 1] = prev[j];
  noisy();
  int32_t offset = 0;
  int delta = 0;
  EXPECT_TRUE(detectGlitch(cur.data(), prev.data(), len, len / 2, 150, offset, delta));
  EXPECT_EQ(delta, -1);
  EXPECT_EQ(offset, -1);
  offset = -128;
  EXPECT_TRUE(detectGlitch(cur.data(), prev.data(), len, len / 2, 150, offset, delta));
  EXPECT_EQ(delta, 0);
  EXPECT_EQ(offset, -128);
  // One byte early.
  for (uint32_t j = 0; j + 1 < cur.size(); ++j) cur[j + 1] = prev[j];
  noisy();
  offset = 0;
  EXPECT_TRUE(detectGlitch(cur.data(), prev.data(), len, len / 2, 150, offset, delta));
  EXPECT_EQ(delta, 1);
  EXPECT_EQ(offset, 1);
  // An unshifted line.
  EXPECT_FALSE(detectGlitch(prev.data(), prev.data(), len, len / 2, 150, offset, delta));
  EXPECT_EQ(delta, 0);
}

TEST(Noise, RunsLongerThan32DarkPixelsAreReplaced) {
  std::vector<uint8_t> prev(100, 200), line(100, 180);
  std::fill(line.begin() + 10, line.begin() + 42, 5);  // 32 dark pixels
  auto kept = line;
  EXPECT_FALSE(CorreggiDisturbi(line.data(), 100, prev.data()));
  EXPECT_EQ(line, kept);
  line[42] = 5;  // 33, ended by a bright pixel
  EXPECT_TRUE(CorreggiDisturbi(line.data(), 100, prev.data()));
  EXPECT_EQ(line[10], 200);
  EXPECT_EQ(line[42], 200);
  EXPECT_EQ(line[43], 180);
  // A run that reaches the line end, and the second rule (below 60 after above 120).
  std::vector<uint8_t> tail(60, 180);
  std::fill(tail.begin() + 20, tail.end(), 50);
  EXPECT_TRUE(CorreggiDisturbi(tail.data(), 60, prev.data()));
  EXPECT_EQ(tail[59], 200);
  // Not dark against a dark previous line.
  std::vector<uint8_t> dim(60, 50), dark(60, 5);
  EXPECT_FALSE(CorreggiDisturbi(dark.data(), 60, dim.data()));
}

TEST(Noise, TheFirstLineOfADocumentIsNotComparedWithAnything) {
  StreamGeometry g = geometry(StreamLayout::Plain, 1, 0);
  std::vector<uint8_t> stream;
  for (uint32_t i = 0; i < 3; ++i) {
    auto l = rawLine(g, i);
    if (i != 1)
      for (uint32_t x = 0; x < 36; ++x) l[2 * x] = 3;  // a dark streak of 36 front pixels
    stream.insert(stream.end(), l.begin(), l.end());
  }
  std::vector<uint8_t> out(g.outRowBytes() * 3);
  SeparationState st;
  st.swNoise = true;
  separateStream(g, st, stream.data(), stream.size(), out.data(), out.size(), 3, nullptr);
  EXPECT_EQ(out[0], 3);                                 // line 0 stays as it came
  EXPECT_EQ(out[2 * g.outRowBytes()], pix(1, 0, 0, 0));  // line 2 takes line 1's pixels
}

TEST(MicrSamples, TheBufferGrowsInsteadOfOverflowing) {
  Samples s;
  s.buf = static_cast<uint8_t*>(std::malloc(8));
  s.cap = 8;
  uint8_t bytes[5] = {1, 2, 3, 4, 5};
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(appendSamples(s.sink, bytes, 5));
  EXPECT_EQ(s.count, 50u);
  EXPECT_GE(s.cap, 50u);
  EXPECT_EQ(s.buf[47], 3);
}
