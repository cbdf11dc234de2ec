// The raw bulk stream of a fed document, laid out as the configuration block asks: planes in
// the order R, G, B (or grey), IR, UV; both sides byte by byte; magnetic bytes where the
// firmware puts them; backlight pixels ending the row. Faults cut, stall or interrupt it.
#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "image_stream.h"

#include "calibration_sheet.h"
#include "sheet_model.h"

namespace pvk::emulator {
namespace {

// What the sensors see where no paper is: the dark background of the empty transport.
constexpr uint8_t kTransport = 25;
// A line with a pixel this bright may show paper: the library takes a stream that ends on paper
// for a document cut short.
constexpr uint8_t kPaperLevel = 100;
// Empty transport streamed before and after a sheet whose image starts or ends on paper: a sixth
// of an inch at 300 dpi each side. Together they stay within the lines the library reads beyond
// the document height it asks for (270 on most models, 100 on the one with a top margin), so the
// longest document it takes still ends on the transport.
constexpr uint32_t kTransportLines = 50;

struct Doc {
  uint32_t width = 0, height = 0;  // as fed
  bool sheet = false;              // laid on the transport (pvkemu_feed), not the sensors' own lines
  uint32_t lineWidth = 0;          // pixels per side of a streamed line
  uint32_t left = 0;               // first sensor pixel the document covers
  uint32_t lead = 0, lines = 0;    // transport lines before the document; lines streamed
  std::vector<uint8_t> front[5], rear[5], backlight, micr;
  std::vector<uint8_t> luma[2];    // grey of a sheet side given colour planes (rear, front)
  uint32_t micrPerSlot = 0;

  // The plane a side (0 rear, 1 front) shows in a stream slot; empty reads white. A sheet given
  // its grey plane alone shows it in each colour plane, and one given colour planes shows their
  // luminance in grey; the sensors' own lines stream every slot as given.
  const std::vector<uint8_t>& plane(int side, int slot, bool colour) const {
    const std::vector<uint8_t>* p = side ? front : rear;
    if (!sheet) return p[slot];
    if (!colour && slot == PVKEMU_PLANE_GREY && !luma[side].empty()) return luma[side];
    const bool greyOnly = p[PVKEMU_PLANE_GREEN].empty() && p[PVKEMU_PLANE_BLUE].empty();
    return colour && slot <= PVKEMU_PLANE_BLUE && greyOnly ? p[PVKEMU_PLANE_GREY] : p[slot];
  }
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

  // What a side shows in a slot along stream line y: the document's row of that plane (null
  // when the plane is white), or the empty transport before and after the sheet.
  struct Row {
    bool transport;
    const uint8_t* px;
  };
  Row rowOf(int side, int slot, uint32_t y) const {
    const Doc& doc = st.doc;
    if (y < doc.lead || y - doc.lead >= doc.height) return {true, nullptr};
    const std::vector<uint8_t>& p = doc.plane(side, slot, k.colour);
    return {false, p.empty() ? nullptr : p.data() + static_cast<size_t>(y - doc.lead) * doc.width};
  }
  // The document's value at sensor pixel x of a row; the transport beside a narrower sheet.
  uint8_t value(const Row& r, uint32_t x) const {
    if (r.transport || x < st.doc.left) return kTransport;
    return r.px ? r.px[x - st.doc.left] : 255;
  }

  // The sensor's byte for a pixel; with the line aligner 0 is the marker and never a pixel.
  uint8_t pixel(int side, int slot, uint32_t x, uint8_t v) const {
    const uint8_t s = sensed(side, slot, x, v);
    return k.aligner ? std::max<uint8_t>(s, 1) : s;
  }

  uint8_t sensed(int side, int slot, uint32_t x, uint8_t v) const {
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

  // The head's samples go with the document's lines; over the empty transport it rests.
  void micrBytes(bool onDocument) {
    for (uint32_t i = 0; i < st.doc.micrPerSlot; ++i)
      out.push_back(onDocument && micrPos < st.doc.micr.size() ? st.doc.micr[micrPos++] : 0x80);
  }

  void pairs(int slot, uint32_t y, uint32_t from) {
    const Row f = rowOf(1, slot, y), r = rowOf(0, slot, y);
    for (uint32_t x = from; x < st.doc.lineWidth; ++x) {
      if (k.frontOn) out.push_back(pixel(1, slot, x, value(f, x)));
      if (k.rearOn) out.push_back(pixel(0, slot, x, value(r, x)));
    }
  }

  void line(uint32_t y) {
    const bool both = k.frontOn && k.rearOn;
    const bool onDocument = y >= st.doc.lead && y - st.doc.lead < st.doc.height;
    for (int slot : k.planes) {
      size_t start = out.size();
      switch (k.layout) {
        case Layout::Plain: pairs(slot, y, 0); break;
        case Layout::MicrCurrent:
          micrBytes(onDocument);
          pairs(slot, y, 0);
          break;
        case Layout::MicrOlder:
          if (both && st.doc.lineWidth > 0) {
            out.push_back(pixel(1, slot, 0, value(rowOf(1, slot, y), 0)));
            micrBytes(onDocument);
            out.push_back(pixel(0, slot, 0, value(rowOf(0, slot, y), 0)));
            pairs(slot, y, 1);
          } else {
            micrBytes(onDocument);
            pairs(slot, y, 0);
          }
          break;
        case Layout::Backlight:
          pairs(slot, y, 0);
          if (k.micr) micrBytes(onDocument);
          break;
      }
      if (k.aligner && k.layout == Layout::Plain && out.size() > start) out[start] = 0;
    }
    if (k.backlight) {
      const bool lit = onDocument && !st.doc.backlight.empty();
      const size_t at = lit ? static_cast<size_t>(y - st.doc.lead) * st.doc.width : 0;
      const Row row{!onDocument, lit ? st.doc.backlight.data() + at : nullptr};
      for (uint32_t x = 0; x < st.doc.lineWidth; ++x) {
        const uint8_t v = value(row, x);
        out.push_back(k.aligner ? std::max<uint8_t>(v, 1) : v);
      }
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
  for (uint32_t y = 0; y < st.doc.lines; ++y) {
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

namespace {

// Whether line y of a sheet shows paper on either side, in grey or in any colour plane (a plane
// not given is white paper).
bool showsPaper(const Doc& d, uint32_t y) {
  for (int side = 0; side < 2; ++side)
    for (int view = 0; view < 4; ++view) {  // red, green, blue, then grey
      const std::vector<uint8_t>& p = d.plane(side, view % 3, view < 3);
      if (p.empty()) return true;
      const uint8_t* row = p.data() + static_cast<size_t>(y) * d.width;
      if (std::any_of(row, row + d.width, [](uint8_t v) { return v >= kPaperLevel; })) return true;
    }
  return false;
}

// Luminance of a side given colour planes, a missing one white: the grey a sensor lit by all
// three LEDs sees.
std::vector<uint8_t> luminance(const std::vector<uint8_t>* p, size_t n) {
  std::vector<uint8_t> out(n);
  for (size_t i = 0; i < n; ++i) {
    auto at = [&](int slot) -> uint32_t { return p[slot].empty() ? 255u : p[slot][i]; };
    const uint32_t r = at(PVKEMU_PLANE_RED), g = at(PVKEMU_PLANE_GREEN), b = at(PVKEMU_PLANE_BLUE);
    out[i] = static_cast<uint8_t>((306 * r + 601 * g + 117 * b) >> 10);
  }
  return out;
}

// A sheet as a real transport carries it: flush against the sensor's far edge (its last pixel on
// the sensor's last), the transport's background over the pixels before it, and empty transport
// before and after it when its image starts or ends on paper.
void layOnTransport(Doc& d, uint32_t sensor) {
  d.sheet = true;
  const size_t n = static_cast<size_t>(d.width) * d.height;
  for (int side = 0; side < 2; ++side) {
    const std::vector<uint8_t>* p = side ? d.front : d.rear;
    if (!p[PVKEMU_PLANE_GREEN].empty() || !p[PVKEMU_PLANE_BLUE].empty()) d.luma[side] = luminance(p, n);
  }
  d.lineWidth = sensor;
  d.left = sensor - d.width;
  d.lead = showsPaper(d, 0) || showsPaper(d, d.height - 1) ? kTransportLines : 0;
  d.lines = d.lead + d.height + d.lead;
}

}  // namespace

int feedDocument(int dev, const pvkemu_document* doc, bool atPhotocell, bool sheet) {
  configuredBus();
  State* st = stateOf(dev);
  if (!st || !doc || doc->width == 0 || doc->height == 0) return -1;
  // The sensor line at 300 dpi, as the factory data describe it.
  const uint32_t sensor = eepromPixels(deviceById(dev)->profile.product_id, 3);
  if (sheet && doc->width > sensor) {
    noteMisuse("pvkemu_feed: a document " + std::to_string(doc->width) + " pixels wide does not fit the sensor's " +
               std::to_string(sensor) + " pixels: crop or scale it to fit");
    return -1;
  }
  Doc& d = st->doc;
  const size_t n = static_cast<size_t>(doc->width) * doc->height;
  d = Doc{};
  d.width = d.lineWidth = doc->width;
  d.height = d.lines = doc->height;
  for (int p = 0; p < 5; ++p) {
    if (doc->front[p]) d.front[p].assign(doc->front[p], doc->front[p] + n);
    if (doc->rear[p]) d.rear[p].assign(doc->rear[p], doc->rear[p] + n);
  }
  if (doc->backlight) d.backlight.assign(doc->backlight, doc->backlight + n);
  if (doc->micr) d.micr.assign(doc->micr, doc->micr + doc->micr_length);
  d.micrPerSlot = doc->micr_per_slot;
  if (sheet) layOnTransport(d, sensor);
  st->hasDoc = true;
  if (atPhotocell) sheetFed(*deviceById(dev));
  return 0;
}

}  // namespace pvk::emulator

extern "C" int pvkemu_feed(int dev, const pvkemu_document* doc) { return feedDocument(dev, doc, true, true); }

extern "C" int pvkemu_feed_lines(int dev, const pvkemu_document* doc) {
  return feedDocument(dev, doc, true, false);
}

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
