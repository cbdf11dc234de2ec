// The raw bulk stream of a fed document, laid out as the configuration block asks: planes in
// the order R, G, B (or grey), IR, UV; both sides byte by byte; magnetic bytes where the
// firmware puts them; backlight pixels ending the row. Faults cut, stall or interrupt it.
#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

#include "image_stream.h"

#include "calibration_sheet.h"
#include "sheet_model.h"

namespace pvk::emulator {
namespace {

struct Doc {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> front[5], rear[5], backlight, micr;
  uint32_t micrPerSlot = 0;
};

struct StreamFault {
  int kind;
  size_t at;
  void (*fn)(void*);
  void* arg;
  bool fired;
};

struct State {
  bool hasDoc = false;
  Doc doc;
  bool hasModel = false;
  pvkemu_sensor model{};
  std::vector<StreamFault> faults;
  size_t taken = 0;
};

std::map<int, State>& states() {
  static std::map<int, State> s;
  return s;
}

State* stateOf(int dev) {
  if (!deviceById(dev)) return nullptr;
  return &states()[dev];
}

enum class Layout { Plain, MicrCurrent, MicrOlder, Backlight };

struct Config {
  bool colour, frontOn, rearOn, uv, ir, micr, backlight;
  bool aligner;             // the line aligner: no pixel byte is 0, and 0 marks each plain slot
  std::vector<int> planes;  // document plane slots in stream order
  Layout layout;
};

// A scanner whose composition announces the line aligner (bit 30 of word L, firmware 0x3000 and
// later) always sends its markers; a sensor model may ask for them on any profile.
bool alignerOn(const Device& d, const State& st) {
  const bool announced = d.profile.firmware >= 0x3000 && (d.profile.composition_low & (1u << 30));
  return announced || (st.hasModel && st.model.aligner);
}

Config readConfig(const Device& d, const State& st) {
  const uint8_t* c = d.configBlock;
  Config k{};
  k.aligner = alignerOn(d, st);
  k.colour = c[1] & 0x01;
  k.frontOn = c[1] & 0x02;
  k.rearOn = c[1] & 0x04;
  k.uv = c[1] & 0x10;
  k.ir = c[1] & 0x20;
  k.micr = c[2] & 0x20;
  k.backlight = c[3] & 0x40;
  if (k.colour) k.planes = {PVKEMU_PLANE_RED, PVKEMU_PLANE_GREEN, PVKEMU_PLANE_BLUE};
  else k.planes = {PVKEMU_PLANE_GREY};
  if (k.ir) k.planes.push_back(PVKEMU_PLANE_IR);
  if (k.uv) k.planes.push_back(PVKEMU_PLANE_UV);
  uint16_t current = d.profile.product_id == 0x000B ? 0x3105 : 0x3108;
  if (k.backlight) k.layout = Layout::Backlight;
  else if (!k.micr) k.layout = Layout::Plain;
  else k.layout = d.profile.firmware >= current ? Layout::MicrCurrent : Layout::MicrOlder;
  return k;
}

// Light a side (0 rear, 1 front) gets for a plane slot, in LED-level units: the level the
// configuration block sends, times the share of light that LED gives (the model's gain).
int ledLevel(const uint8_t* c, const pvkemu_sensor* m, int side, int slot) {
  if (slot == PVKEMU_PLANE_IR) return side ? c[15] : c[17];
  if (slot == PVKEMU_PLANE_UV) return side ? c[14] : c[16];
  const uint8_t* rgb = side ? c + 4 : c + 7;
  auto lit = [&](int k) { return m && m->led_gain[k] ? rgb[k] * m->led_gain[k] / 100 : rgb[k]; };
  if (c[1] & 0x01) return lit(slot);
  return std::max({lit(0), lit(1), lit(2)});  // grey: the LED or LEDs that are lit
}

struct Builder {
  const Device& d;
  State& st;
  const Config& k;
  std::vector<uint8_t> out;
  size_t micrPos = 0;

  uint8_t docPixel(int side, int slot, uint32_t x, uint32_t y) const {
    const Doc& doc = st.doc;
    const std::vector<uint8_t>& p = side ? doc.front[slot] : doc.rear[slot];
    return p.empty() ? 255 : p[static_cast<size_t>(y) * doc.width + x];
  }

  // The sensor's byte for a pixel; with the line aligner 0 is the marker and never a pixel.
  uint8_t pixel(int side, int slot, uint32_t x, uint32_t y) const {
    const uint8_t v = sensed(side, slot, x, y);
    return k.aligner ? std::max<uint8_t>(v, 1) : v;
  }

  uint8_t sensed(int side, int slot, uint32_t x, uint32_t y) const {
    uint8_t v = docPixel(side, slot, x, y);
    // The calibration sheet lights every plane through the model, infrared and ultraviolet too.
    const bool modelled = slot <= PVKEMU_PLANE_BLUE || calibrationSheetIn(d);
    if (!st.hasModel || st.model.white_max == 0 || !modelled) return v;
    const pvkemu_sensor& m = st.model;
    int white = sensorWhite(m, d.id, side, x, false);
    int black = sensorBlack(m, white);
    const int level = ledLevel(d.configBlock, &m, side, slot);
    double led = m.led_level ? static_cast<double>(level) / m.led_level : 1.0;
    double raw = black + v * (white - black) * led / 265.0;
    const uint8_t out = static_cast<uint8_t>(std::clamp(static_cast<int>(std::lround(raw)), 0, 255));
    return calibrationSheetPixel(d, side, x, level, black, out);
  }

  void micrBytes() {
    for (uint32_t i = 0; i < st.doc.micrPerSlot; ++i)
      out.push_back(micrPos < st.doc.micr.size() ? st.doc.micr[micrPos++] : 0x80);
  }

  void pairs(int slot, uint32_t y, uint32_t from) {
    for (uint32_t x = from; x < st.doc.width; ++x) {
      if (k.frontOn) out.push_back(pixel(1, slot, x, y));
      if (k.rearOn) out.push_back(pixel(0, slot, x, y));
    }
  }

  void line(uint32_t y) {
    const bool both = k.frontOn && k.rearOn;
    for (int slot : k.planes) {
      size_t start = out.size();
      switch (k.layout) {
        case Layout::Plain: pairs(slot, y, 0); break;
        case Layout::MicrCurrent:
          micrBytes();
          pairs(slot, y, 0);
          break;
        case Layout::MicrOlder:
          if (both && st.doc.width > 0) {
            out.push_back(pixel(1, slot, 0, y));
            micrBytes();
            out.push_back(pixel(0, slot, 0, y));
            pairs(slot, y, 1);
          } else {
            micrBytes();
            pairs(slot, y, 0);
          }
          break;
        case Layout::Backlight:
          pairs(slot, y, 0);
          if (k.micr) micrBytes();
          break;
      }
      if (k.aligner && k.layout == Layout::Plain && out.size() > start) out[start] = 0;
    }
    if (k.backlight)
      for (uint32_t x = 0; x < st.doc.width; ++x) {
        const uint8_t v = st.doc.backlight.empty() ? 255 : st.doc.backlight[static_cast<size_t>(y) * st.doc.width + x];
        out.push_back(k.aligner ? std::max<uint8_t>(v, 1) : v);
      }
  }

  void glitchBefore(uint32_t y) {
    if (!st.hasModel) return;
    const pvkemu_sensor& m = st.model;
    for (uint32_t i = 0; i < std::min<uint32_t>(m.glitch_count, 4); ++i) {
      if (m.glitch_line[i] != y) continue;
      int32_t b = m.glitch_bytes[i];
      if (b > 0) out.insert(out.end(), static_cast<size_t>(b), 0x55);
      else out.resize(out.size() - std::min<size_t>(out.size(), static_cast<size_t>(-b)));
    }
  }
};

}  // namespace

// An acquisition start with nothing in the transport: no line crosses the sensors. A device told
// to wait at its photocell (byte 3 without 0x02) waits for a document that does not come, so the
// stream stays silent and the transfers time out; one told to start at once runs its transport
// empty and ends the stream with nothing. What a test queued itself stands for the sensors and
// streams as it is.
void streamWithoutDocument(Device& d) {
  if (d.streamQueued && d.stream.size() > 0) return;
  d.stream.clear();
  d.streamEnded = d.configBlockValid && (d.configBlock[3] & 0x02) != 0;
}

void imageStreamStart(Device& d, bool documentIn) {
  if (calibrationSheetFeed(d)) {  // the calibration sheet has passed: nothing to stream
    d.stream.clear();
    d.streamEnded = true;
    d.streamQueued = false;
    return;
  }
  auto it = states().find(d.id);
  // The calibration sheet fed the stretch it has under the sensors just now.
  const bool fed = it != states().end() && it->second.hasDoc && (documentIn || calibrationSheetIn(d));
  if (!fed || !d.configBlockValid) {
    streamWithoutDocument(d);
    return;
  }
  State& st = it->second;
  Config k = readConfig(d, st);
  Builder b{d, st, k, {}, 0};
  for (uint32_t y = 0; y < st.doc.height; ++y) {
    b.glitchBefore(y);
    b.line(y);
  }
  bool end = true;
  for (const StreamFault& f : st.faults) {
    if (f.kind == PVKEMU_STREAM_SHORT || f.kind == PVKEMU_STREAM_TIMEOUT) {
      if (b.out.size() > f.at) b.out.resize(f.at);
      if (f.kind == PVKEMU_STREAM_TIMEOUT) end = false;
    }
  }
  d.stream.clear();
  d.stream.append(b.out.data(), b.out.size());
  d.streamEnded = end;
  d.streamQueued = false;
  st.taken = 0;
  for (StreamFault& f : st.faults) f.fired = false;
}

void imageStreamDocumentLeft(Device& d) {
  auto it = states().find(d.id);
  if (it == states().end()) return;
  it->second.hasDoc = false;
  it->second.doc = Doc{};
}

void imageStreamTaken(Device& d, size_t n) {
  auto it = states().find(d.id);
  if (it == states().end()) return;
  State& st = it->second;
  st.taken += n;
  for (StreamFault& f : st.faults) {
    if (f.fired || st.taken < f.at || n == 0) continue;
    if (f.kind == PVKEMU_STREAM_UNPLUG) {
      f.fired = true;
      d.plugged = false;
      d.claimed = false;
    } else if (f.kind == PVKEMU_STREAM_CALLBACK && f.fn) {
      f.fired = true;
      f.fn(f.arg);
    }
  }
}

void imageStreamClearFaults() {
  for (auto& [dev, st] : states()) st.faults.clear();
}

void imageStreamReset() {
  states().clear();
  calibrationSheetReset();
  eepromReset();
}

const pvkemu_sensor* sensorOf(int dev) {
  auto it = states().find(dev);
  return it != states().end() && it->second.hasModel ? &it->second.model : nullptr;
}

}  // namespace pvk::emulator

using namespace pvk::emulator;

namespace pvk::emulator {

int feedDocument(int dev, const pvkemu_document* doc, bool atPhotocell) {
  configuredBus();
  State* st = stateOf(dev);
  if (!st || !doc || doc->width == 0 || doc->height == 0) return -1;
  Doc& d = st->doc;
  const size_t n = static_cast<size_t>(doc->width) * doc->height;
  d = Doc{};
  d.width = doc->width;
  d.height = doc->height;
  for (int p = 0; p < 5; ++p) {
    if (doc->front[p]) d.front[p].assign(doc->front[p], doc->front[p] + n);
    if (doc->rear[p]) d.rear[p].assign(doc->rear[p], doc->rear[p] + n);
  }
  if (doc->backlight) d.backlight.assign(doc->backlight, doc->backlight + n);
  if (doc->micr) d.micr.assign(doc->micr, doc->micr + doc->micr_length);
  d.micrPerSlot = doc->micr_per_slot;
  st->hasDoc = true;
  if (atPhotocell) sheetFed(*deviceById(dev));
  return 0;
}

}  // namespace pvk::emulator

extern "C" int pvkemu_feed(int dev, const pvkemu_document* doc) { return feedDocument(dev, doc, true); }

extern "C" int pvkemu_sensor_model(int dev, const pvkemu_sensor* model) {
  configuredBus();
  State* st = stateOf(dev);
  if (!st) return -1;
  st->hasModel = model != nullptr;
  if (model) st->model = *model;
  return 0;
}

extern "C" int pvkemu_sensor_white(int dev, int side, uint32_t x) {
  const pvkemu_sensor* m = sensorOf(dev);
  return m ? sensorWhite(*m, dev, side, x, false) : -1;
}

extern "C" int pvkemu_sensor_black(int dev, int side, uint32_t x) {
  const pvkemu_sensor* m = sensorOf(dev);
  return m ? sensorBlack(*m, sensorWhite(*m, dev, side, x, false)) : -1;
}

extern "C" int pvkemu_stream_fault(int dev, int kind, size_t at, void (*fn)(void*), void* arg) {
  configuredBus();
  State* st = stateOf(dev);
  if (!st || kind < PVKEMU_STREAM_SHORT || kind > PVKEMU_STREAM_CALLBACK) return -1;
  st->faults.push_back({kind, at, fn, arg, false});
  return 0;
}

extern "C" int pvkemu_config_block(int dev, uint8_t* out33) {
  Device* d = deviceById(dev);
  if (!d || !out33 || !d->configBlockValid) return -1;
  std::copy(d->configBlock, d->configBlock + 33, out33);
  return 0;
}
