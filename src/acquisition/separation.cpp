// In-place separation of the raw stream: each slot's front/rear byte pairs become the front and
// rear pixels of the plane line, magnetic bytes go to the sample buffer, backlight pixels end
// the row. Stream shifts are repaired on the plain layout, dark streaks on all but the oldest.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "acquisition/acquisition.h"
#include "core/trace.h"

namespace pvk::acquisition {

uint32_t StreamGeometry::slotBytes() const {
  uint32_t pairs = 2 * sensorPixels;
  switch (layout) {
    case StreamLayout::Plain: return pairs;
    case StreamLayout::MicrCurrent:
    case StreamLayout::MicrOlder: return pairs + micrPerSlot;
    case StreamLayout::Backlight: return pairs + (micrInBacklight ? micrPerSlot : 0);
  }
  return pairs;
}

uint32_t StreamGeometry::rawLineBytes() const {
  return planes * slotBytes() + (layout == StreamLayout::Backlight ? sensorPixels : 0);
}

uint32_t StreamGeometry::outRowBytes() const {
  return planes * 2 * sensorPixels + (layout == StreamLayout::Backlight ? sensorPixels : 0);
}

StreamLayout layoutFor(bool micr, bool backlight, uint16_t fw, uint16_t productId) {
  if (backlight) return StreamLayout::Backlight;
  if (!micr) return StreamLayout::Plain;
  uint16_t current = productId == 0x000B ? 0x3105 : 0x3108;
  return fw >= current ? StreamLayout::MicrCurrent : StreamLayout::MicrOlder;
}

bool appendSamples(MicrSink& sink, const uint8_t* bytes, uint32_t n) {
  uint64_t need = *sink.count + n;
  if (need > *sink.capacity || !*sink.buffer) {
    // The buffer was sized for one part; a second part keeps appending, so it grows.
    uint64_t cap = std::max<uint64_t>({need, *sink.capacity * 2, 4096});
    auto* grown = static_cast<uint8_t*>(std::realloc(*sink.buffer, cap));
    if (!grown) return false;
    std::memset(grown + *sink.count, 0xFF, cap - *sink.count);
    *sink.buffer = grown;
    *sink.capacity = cap;
  }
  std::memcpy(*sink.buffer + *sink.count, bytes, n);
  *sink.count = need;
  return true;
}

namespace {

bool apart(const uint8_t* a, uint64_t aBytes, const uint8_t* b, uint64_t bBytes) {
  const auto x = reinterpret_cast<uintptr_t>(a), y = reinterpret_cast<uintptr_t>(b);
  return x + aBytes <= y || y + bBytes <= x;
}

int64_t clampPos(int64_t pos, uint64_t rawBytes, uint32_t len) {
  int64_t last = static_cast<int64_t>(rawBytes) - len;
  return std::clamp<int64_t>(pos, 0, last);
}

// The line aligner puts a 0 marker at the start of each slot: find where it went.
int64_t alignToMarker(const uint8_t* raw, int64_t pos, uint64_t rawBytes, uint32_t slot,
                      SeparationState& st, uint64_t line, uint32_t trimWidth) {
  if (raw[pos] == 0 || trimWidth < 2) return pos;
  int64_t lineNo = static_cast<int64_t>(st.trimTop + line);
  // The nearest marker after the slot's start, then the nearest before it, each at most
  // trimWidth - 1 bytes away; a lost marker costs a scan of that much, so it is a byte search.
  const int64_t ahead = std::min<int64_t>(trimWidth - 1, static_cast<int64_t>(rawBytes) - slot - pos);
  if (ahead > 0) {
    if (const void* z = std::memchr(raw + pos + 1, 0, static_cast<size_t>(ahead))) {
      const int64_t k = static_cast<const uint8_t*>(z) - (raw + pos);
      WriteTrace("alligner detected positive glith at", static_cast<int>(lineNo), false);
      if (st.glitchOffset < 128) {
        st.glitchOffset += static_cast<int32_t>(k);
        return pos + k;
      }
      WriteTrace("alligner detected glitch offset too large", st.glitchOffset, false);
      return pos;
    }
  }
  const int64_t behind = std::min<int64_t>(trimWidth - 1, pos);
  if (behind > 0) {
    if (const void* z = memrchr(raw + pos - behind, 0, static_cast<size_t>(behind))) {
      const int64_t k = (raw + pos) - static_cast<const uint8_t*>(z);
      WriteTrace("alligner detected negative glith at", static_cast<int>(lineNo), false);
      if (st.glitchOffset > -128) {
        st.glitchOffset -= static_cast<int32_t>(k);
        return pos - k;
      }
      WriteTrace("glitch offset too large", st.glitchOffset, false);
      return pos;
    }
  }
  return pos;
}

// Front bytes are the even ones of a pair run, rear bytes the odd ones.
void deinterleave(const uint8_t* __restrict pairs, uint8_t* __restrict front,
                  uint8_t* __restrict rear, uint32_t n) {
  uint32_t x = 0;
#if defined(__SSE2__)
  // Sixteen pairs at a time: the low byte of each 16-bit lane is the front pixel, the high
  // byte the rear one; both halves pack without saturating, as they are below 256.
  const __m128i low = _mm_set1_epi16(0x00FF);
  for (; x + 16 <= n; x += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs + 2 * x));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs + 2 * x + 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(front + x),
                     _mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rear + x),
                     _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8)));
  }
#endif
  for (; x < n; ++x) {
    front[x] = pairs[2 * x];
    rear[x] = pairs[2 * x + 1];
  }
}

// Splits one slot (already copied out of the stream) into the front and rear plane lines and
// hands its magnetic bytes to the sink.
void splitSlot(const StreamGeometry& g, const uint8_t* s, uint8_t* front, MicrSink* micr,
               SeparationState& st) {
  const uint32_t S = g.sensorPixels;
  uint8_t* rear = front + S;
  const uint8_t* pairs = s;
  const uint8_t* mbytes = nullptr;
  uint32_t mcount = 0;
  switch (g.layout) {
    case StreamLayout::Plain: break;
    case StreamLayout::Backlight:
      if (g.micrInBacklight) {
        mbytes = s + 2 * S;
        mcount = g.micrPerSlot;
      }
      break;
    case StreamLayout::MicrCurrent:
      mbytes = s;
      mcount = g.micrPerSlot;
      pairs = s + g.micrPerSlot;
      break;
    case StreamLayout::MicrOlder:
      // Front pixel 0, the magnetic bytes, rear pixel 0, then the pairs of pixels 1 onward.
      if (S > 0) {
        front[0] = s[0];
        rear[0] = s[1 + g.micrPerSlot];
      }
      mbytes = s + 1;
      mcount = g.micrPerSlot;
      pairs = s + g.micrPerSlot + 2;
      for (uint32_t x = 1; x < S; ++x) {
        front[x] = pairs[2 * (x - 1)];
        rear[x] = pairs[2 * (x - 1) + 1];
      }
      pairs = nullptr;
      break;
  }
  if (pairs) deinterleave(pairs, front, rear, S);
  if (mcount && micr && !appendSamples(*micr, mbytes, mcount) && !st.micrOverflowTraced) {
    st.micrOverflowTraced = true;
    WriteTrace("err - ", "set CMC7 buffer with invalid memory allocation", false);
  }
}

}  // namespace

uint64_t separateStream(const StreamGeometry& g, SeparationState& st, uint8_t* raw,
                        uint64_t rawBytes, uint8_t* out, uint64_t outBytes, uint64_t lines,
                        MicrSink* micr) {
  const uint32_t slot = g.slotBytes();
  const uint32_t rawLine = g.rawLineBytes();
  const uint32_t outRow = g.outRowBytes();
  const uint32_t S = g.sensorPixels;
  if (slot == 0 || rawLine == 0 || !raw || !out) return 0;
  st.prevRaw.resize(rawLine);
  const bool noise = st.swNoise && g.layout != StreamLayout::MicrOlder;
  if (noise) {
    st.prevSep.resize(outRow);
    st.curSep.resize(outRow);
  }
  const bool shifts = g.layout == StreamLayout::Plain && st.normalDocument;
  uint32_t window = st.dpiH / (st.productId == 0x000E ? 4 : 2);
  // Without shift repair no previous raw line is needed, and when the stream starts at least
  // one row behind the output (as in the acquisition buffer) no row can reach the raw bytes
  // still to be read: split straight from the stream.
  const bool direct = !(shifts && (st.aligner || st.swGlitch)) && raw >= out &&
                      static_cast<uint64_t>(raw - out) >= outRow && rawLine >= outRow;
  // The line aligner compares no previous line: a slot whose bytes lie apart from the plane
  // line made of it is split straight from the stream too.
  const bool alignerOnly = shifts && st.aligner;
  uint64_t done = 0;
  for (uint64_t i = 0; i < lines; ++i) {
    if ((i + 1) * outRow > outBytes) break;
    int64_t lineStart = static_cast<int64_t>(i) * rawLine;
    if (lineStart + rawLine > static_cast<int64_t>(rawBytes)) break;
    uint8_t* row = out + i * outRow;
    const bool firstLine = st.linesDone == 0;
    for (uint32_t p = 0; p < g.planes; ++p) {
      int64_t pos = clampPos(lineStart + p * slot + st.glitchOffset, rawBytes, slot);
      if (shifts && !firstLine) {
        if (st.aligner) {
          pos = alignToMarker(raw, pos, rawBytes, slot, st, i, g.trimWidth);
        } else if (st.swGlitch) {
          int delta = 0;
          if (detectGlitch(raw + pos, st.prevRaw.data() + p * slot, slot, g.trimWidth, window,
                           st.glitchOffset, delta)) {
            WriteTrace("at", static_cast<int>(st.trimTop + i), false);
            pos += delta;
          }
        }
        pos = clampPos(pos, rawBytes, slot);
      }
      uint8_t* planeLine = row + p * 2 * S;
      if (direct || (alignerOnly && apart(planeLine, 2 * S, raw + pos, slot))) {
        splitSlot(g, raw + pos, planeLine, micr, st);
        continue;
      }
      // The copy is both the previous line of the next test and a safe source: the output row
      // may overlap the raw bytes it is made from.
      std::memmove(st.prevRaw.data() + p * slot, raw + pos, slot);
      splitSlot(g, st.prevRaw.data() + p * slot, planeLine, micr, st);
    }
    if (g.layout == StreamLayout::Backlight) {
      int64_t pos = clampPos(lineStart + g.planes * slot, rawBytes, S);
      std::memmove(st.prevRaw.data() + g.planes * slot, raw + pos, S);
      std::memcpy(row + g.planes * 2 * S, st.prevRaw.data() + g.planes * slot, S);
    }
    if (noise) {
      std::memcpy(st.curSep.data(), row, outRow);
      // A document's first line has no previous line of its own to be compared with.
      if (!firstLine) {
        uint32_t n = std::min(g.trimWidth, S);
        for (uint32_t p = 0; p < g.planes; ++p) {
          CorreggiDisturbi(row + p * 2 * S, static_cast<int>(n), st.prevSep.data() + p * 2 * S);
          CorreggiDisturbi(row + p * 2 * S + S, static_cast<int>(n), st.prevSep.data() + p * 2 * S + S);
        }
      }
      st.prevSep.swap(st.curSep);
    }
    ++st.linesDone;
    ++done;
  }
  return done;
}

}  // namespace pvk::acquisition
