// Host-side cost of one scan-and-read call on the demo cheque (an OCR-B line, a Code 128, a
// PDF417, a DataMatrix and a CMC7 codeline at 300 dpi): grey, colour, and grey fed lengthwise
// with its codeline in magnetic ink past the head. PVKImgScan1 as a host calls it, and the
// reading of its zones again on the sides it acquired, so that acquisition (the call less its
// reading) and reading stand apart; then each zone read alone, and the peak memory of one call.
// CPU time of this thread, CPU time of the whole process and wall time, medians of rounds in
// which the documents take turns, beside the time the raw stream takes on a USB 2.0 high-speed
// link (about 40 MB/s).
//
// The stream is built before the call and queued on the software scanner, so that the scanner's
// own work of turning a document into a stream stays out of the host's time; a first scan of
// the fed document checks that the queued stream is what the scanner sends for it.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../bench_session.h"
#include "../bench_timing.h"
#include "PlavikMS.h"
#include "control/control.h"
#include "core/records.h"
#include "demo_cheque.h"
#include "document/document.h"
#include "geometry/geometry.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"
#include "reading/reading.h"

namespace {

namespace dc = pvk::democheque;
using pvk::bench::kernelSeconds;
using pvk::bench::median;
using pvk::bench::ownPeakMiB;
using pvk::bench::resetPeak;

constexpr double kUsbBytesPerSecond = 40e6;
constexpr int kRounds = 9;
constexpr short kTextSize = 4096;

// Thread CPU, process CPU and wall seconds from one moment on.
struct Stopwatch {
  double thread = kernelSeconds(CLOCK_THREAD_CPUTIME_ID), process = kernelSeconds(CLOCK_PROCESS_CPUTIME_ID),
         wall = kernelSeconds(CLOCK_MONOTONIC);
};

struct Times {
  std::vector<double> thread, process, wall;
  void add(const Stopwatch& from) {
    const Stopwatch now;
    thread.push_back(now.thread - from.thread);
    process.push_back(now.process - from.process);
    wall.push_back(now.wall - from.wall);
  }
};

// Per round: a - b (the acquisition is the whole call less its reading).
Times difference(const Times& a, const Times& b) {
  Times d;
  for (size_t i = 0; i < a.thread.size() && i < b.thread.size(); ++i) {
    d.thread.push_back(a.thread[i] - b.thread[i]);
    d.process.push_back(a.process[i] - b.process[i]);
    d.wall.push_back(a.wall[i] - b.wall[i]);
  }
  return d;
}

struct Mode {
  const char* name;
  bool colour, magnetic;
  dc::Cheque cheque;
  std::vector<uint8_t> stream;  // what the scanner sends for the document
  std::string text;             // what the fed document read as, and its sides' sizes
  int width = 0, rows = 0;
  uint8_t config[33]{};
  Times call, reading, image;
  std::vector<Times> zones;
};

using pvk::bench::Session;

// One zone per printed item, in pixels of the 300 dpi document; `only` >= 0 keeps that item alone.
PVKOCRDoc request(const Session& s, const dc::Cheque& c, int only = -1) {
  OCRDoc = PVKOCRDoc{};
  for (size_t k = 0; k < c.items.size(); ++k) {
    if (only >= 0 && static_cast<size_t>(only) != k) continue;
    const dc::Item& it = c.items[k];
    PVKOCRZoneAdd(s.h(), 300, static_cast<short>(it.left), static_cast<short>(it.top), static_cast<short>(it.width),
                  static_cast<short>(it.height), 1, it.font, 0);
  }
  PVKOCRZoneRotateDoc(s.h(), 0);
  return OCRDoc;
}

char text[kTextSize], conf[kTextSize];

int scan(const Session& s, const PVKOCRDoc& req) {
  pvkemu_sheet(s.dev, 0, 1, PVKEMU_SHEET_ENTRY);
  OCRDoc = req;  // the call writes counts and fonts back into the table
  return PVKImgScan1(s.h(), &OCRDoc, text, conf, kTextSize);
}

// The zones of req read again on the sides the last call acquired, set up as the call sets them
// up and, as in the call, on this thread alone.
int readAgain(const PVKOCRDoc& req, Times& times) {
  MyOcr.typeDoc = MyOcr.typeDocSaved;
  AggiornaFirstBarcodeRead(VX3_BARCODE_NONE);
  MyMICR.enabled = MyMICR.cdlFound = 0;
  OCRDoc = req;
  if (!Vx3Read_CheckParameter(&OCRDoc, text, conf)) return MyDev.lastResult;
  const Stopwatch from;
  const int r = pvk::geometry::onCallingThreadOnly([&] { return Vx3ReadDoc(&OCRDoc, text, conf, kTextSize); });
  times.add(from);
  for (unsigned short side : {1, 0, 2}) MyOcrFree(side, true);
  MyMICR.enabled = 0;
  return r;
}

// The OCR image of the front alone, as the first zone of the front builds it.
void frontImage(const PVKOCRDoc& req, Times& times) {
  OCRDoc = req;
  if (!Vx3Read_CheckParameter(&OCRDoc, text, conf)) return;
  const Stopwatch from;
  pvk::geometry::onCallingThreadOnly([&] { return Vx3CreateOCRImage(1, &OCRDoc, 0) ? 1 : 0; });
  times.add(from);
  for (unsigned short side : {1, 0, 2}) MyOcrFree(side, true);
}

// The raw stream of both sides as the full profile sends it: per line and plane slot, the head's
// bytes first when the head is on (its rest level past the samples given), then front and rear
// pixels in pairs.
std::vector<uint8_t> streamOf(const dc::Transport& t, int planes) {
  std::vector<uint8_t> out;
  const size_t pixels = static_cast<size_t>(t.sensorPixels);
  out.reserve(static_cast<size_t>(t.lines) * planes * (2 * pixels + t.micrPerSlot));
  size_t head = 0;
  for (int y = 0; y < t.lines; ++y)
    for (int p = 0; p < planes; ++p) {
      for (int i = 0; i < t.micrPerSlot; ++i, ++head) out.push_back(head < t.micr.size() ? t.micr[head] : 0x80);
      const uint8_t* f = t.front.data() + y * pixels;
      const uint8_t* r = t.rear.data() + y * pixels;
      for (size_t x = 0; x < pixels; ++x) {
        out.push_back(f[x]);
        out.push_back(r[x]);
      }
    }
  return out;
}

dc::Transport transportOf(const Mode& m) {
  return m.magnetic ? dc::alongTravel(m.cheque, true, m.colour ? 3 : 1) : dc::onTransport(m.cheque, false);
}

// The scanner fed the document itself: what it reads as, the sides' sizes and the configuration
// the scanner was sent, for the queued streams to match.
bool readFed(Session& s, const dc::Transport& t, Mode& m) {
  pvkemu_document d{};
  d.width = static_cast<uint32_t>(t.sensorPixels);
  d.height = static_cast<uint32_t>(t.lines);
  for (int p = 0; p < (m.colour ? 3 : 1); ++p) {  // a colour scan of a cheque printed in grey
    d.front[p] = t.front.data();
    d.rear[p] = t.rear.data();
  }
  d.micr = t.micr.empty() ? nullptr : t.micr.data();
  d.micr_length = t.micr.size();
  d.micr_per_slot = static_cast<uint32_t>(t.micrPerSlot);
  PVKSetParameter(0, m.colour ? 2 : 1);
  if (pvkemu_feed(s.dev, &d) != 0 || scan(s, request(s, m.cheque)) != 0) return false;
  m.text = text;
  m.width = MyDev.img[1].trimWidth;
  m.rows = MyDev.img[1].rowsUsed;
  return pvkemu_config_block(s.dev, m.config) == 0;
}

bool sameAsFed(const Session& s, const Mode& m) {
  uint8_t config[33];
  return text == m.text && MyDev.img[1].trimWidth == m.width && MyDev.img[1].rowsUsed == m.rows &&
         pvkemu_config_block(s.dev, config) == 0 && std::memcmp(config, m.config, sizeof config) == 0;
}

// The document's stream queued on the software scanner, for the next call to read.
void queue(const Session& s, const Mode& m) {
  PVKSetParameter(0, m.colour ? 2 : 1);
  pvkemu_stream_push(s.dev, m.stream.data(), m.stream.size());
  pvkemu_stream_end(s.dev);
}

// One round of a mode: the call on the queued stream, its zones read again, the front's OCR image
// made alone and each zone read alone.
bool round(const Session& s, const PVKOCRDoc& req, Mode& m, bool counted) {
  Times warmUp;  // the rounds not counted
  queue(s, m);
  const Stopwatch from;
  const int r = scan(s, req);
  (counted ? m.call : warmUp).add(from);
  if (r != 0 || !sameAsFed(s, m)) {
    std::printf("%s: the call returned %d and read [%s], the fed document [%s]\n", m.name, r, text, m.text.c_str());
    return false;
  }
  if (readAgain(req, counted ? m.reading : warmUp) != 0 || text != m.text) {
    std::printf("%s: read again as [%s], in the call [%s]\n", m.name, text, m.text.c_str());
    return false;
  }
  frontImage(req, counted ? m.image : warmUp);
  m.zones.resize(m.cheque.items.size());
  for (size_t k = 0; k < m.cheque.items.size(); ++k) readAgain(request(s, m.cheque, static_cast<int>(k)), counted ? m.zones[k] : warmUp);
  return true;
}

int readAsPrinted(const Mode& m) {
  int n = 0;
  size_t from = 0;
  for (const dc::Item& it : m.cheque.items) {
    const size_t tab = m.text.find('\t', from);
    n += m.text.substr(from, tab == std::string::npos ? std::string::npos : tab - from) == it.text;
    from = tab == std::string::npos ? m.text.size() : tab + 1;
  }
  return n;
}

void printPart(const char* part, const Times& t, const Mode& m, double goal, bool first) {
  const double usb = m.stream.size() / kUsbBytesPerSecond;
  if (first)
    std::printf("%-16s %7.2f %8.2f", m.name, m.stream.size() / 1e6, usb * 1e3);
  else
    std::printf("%-16s %7s %8s", "", "", "");
  const double thread = median(t.thread), process = median(t.process);
  std::printf("  %-12s %9.2f %10.2f %8.2f %10.3f %11.3f    <= %.2f%s\n", part, thread * 1e3, process * 1e3,
              median(t.wall) * 1e3, thread / usb, process / usb, goal, process / usb <= goal ? "" : "  missed");
}

void printZones(const Mode& m) {
  std::printf("%-16s %9.2f", m.name, median(m.image.thread) * 1e3);
  for (const Times& z : m.zones) std::printf(" %10.2f", median(z.thread) * 1e3);
  std::printf("\n");
}

// Peak resident set of this program run again as `args`, as it reports it.
double peakMiB(const char* self, const std::string& args) {
  FILE* p = popen((std::string(self) + " " + args).c_str(), "r");
  if (!p) return -1;
  double mib = -1;
  if (std::fscanf(p, "%lf", &mib) != 1) mib = -1;
  return pclose(p) == 0 ? mib : -1;
}

// The documents whose name holds `which` (all for null), their cheques drawn.
std::vector<Mode> modesOf(const char* which) {
  std::vector<Mode> modes(3);
  modes[0].name = "grey 300 dpi";
  modes[1].name = "colour 300 dpi";
  modes[1].colour = true;
  modes[2].name = "grey, magnetic";
  modes[2].magnetic = true;
  if (which)
    modes.erase(std::remove_if(modes.begin(), modes.end(), [&](const Mode& m) { return !std::strstr(m.name, which); }),
                modes.end());
  for (Mode& m : modes) m.cheque = dc::makeCheque(202, m.magnetic);
  return modes;
}

// The document of a mode as the memory figure's child takes it: its colour, its request and its
// stream, in one file.
bool writeDocument(const std::string& path, const Mode& m, const PVKOCRDoc& req) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const int colour = m.colour ? 1 : 0;
  bool ok = std::fwrite(&colour, sizeof colour, 1, f) == 1 && std::fwrite(&req, sizeof req, 1, f) == 1 &&
            std::fwrite(m.stream.data(), 1, m.stream.size(), f) == m.stream.size();
  return std::fclose(f) == 0 && ok;
}

// A child of the memory figure: the peak of a process that scans and reads the document of a
// file written by writeDocument, counted once the software scanner holds its stream (the file's
// copy let go); with `call` false the same up to the call, which is not made. Nothing else is
// drawn or held, as in a host.
int memoryChild(const std::string& dir, const char* path, bool call) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return 1;
  Mode m{};
  int colour = 0;
  PVKOCRDoc req{};
  bool ok = std::fread(&colour, sizeof colour, 1, f) == 1 && std::fread(&req, sizeof req, 1, f) == 1;
  for (uint8_t chunk[1 << 16]; ok;) {
    const size_t n = std::fread(chunk, 1, sizeof chunk, f);
    m.stream.insert(m.stream.end(), chunk, chunk + n);
    if (n < sizeof chunk) break;
  }
  std::fclose(f);
  m.colour = colour != 0;
  Session s;
  if (!ok || !s.open(dir, pvkemu_profile_full, 21000000)) return 1;
  queue(s, m);
  std::vector<uint8_t>().swap(m.stream);
  resetPeak();
  const int code = call ? scan(s, req) : 0;
  s.close();
  std::printf("%.1f\n", ownPeakMiB());
  return code == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  pvkemu_clock_virtual(1);  // the library's waits cost no time; CPU time is measured apart
  char tmpl[] = "/tmp/pvk_bench_XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;
  const std::string cleanup = "rm -rf '" + dir + "'";
  if (argc > 3 && std::strcmp(argv[1], "memory") == 0) {
    const int code = memoryChild(dir, argv[2], std::strcmp(argv[3], "call") == 0);
    return std::system(cleanup.c_str()) == 0 ? code : 1;
  }
  // For profiling: `bench_scan_read grey|colour|magnetic [ROUNDS]` runs one kind only.
  std::vector<Mode> modes = modesOf(argc > 1 ? argv[1] : nullptr);
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : kRounds;
  bool ok = !modes.empty();
  Session s;
  // Fed by the scanner, each mode in a session of its own. The fed document leaves with its
  // acquisition; the rounds read the streams queued on the scanner.
  for (Mode& m : modes) {
    const dc::Transport t = transportOf(m);
    ok = ok && s.open(dir, pvkemu_profile_full, 21000000) && readFed(s, t, m);
    s.close();
    m.stream = streamOf(t, m.colour ? 3 : 1);
  }
  if (!ok) std::printf("bench_scan_read: the fed demo cheque did not scan (last result %d)\n", PVKGetLastResult());
  ok = ok && s.open(dir, pvkemu_profile_full, 21000000);
  std::vector<PVKOCRDoc> requests;
  for (const Mode& m : modes) requests.push_back(ok ? request(s, m.cheque) : PVKOCRDoc{});
  double load[3] = {-1, -1, -1};
  if (getloadavg(load, 3) != 3) load[0] = -1;
  for (int i = -1; ok && i < rounds; ++i)  // round -1 warms up
    for (size_t k = 0; ok && k < modes.size(); ++k) ok = round(s, requests[k], modes[k], i >= 0);
  s.close();
  if (!ok) return 1;

  std::printf("bench_scan_read: PVKImgScan1 on the demo cheque (%zu zones), one document, median of %d rounds, the "
              "documents in turn; load average %.1f %.1f %.1f on %ld cores\n",
              modes[0].cheque.items.size(), rounds, load[0], load[1], load[2], sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("%-16s %7s %8s  %-12s %9s %10s %8s %10s %11s  %s\n", "document", "raw MB", "USB2 ms", "part",
              "thread ms", "process ms", "wall ms", "thread/USB", "process/USB", "goal");
  for (const Mode& m : modes) {
    printPart("whole call", m.call, m, 0.25, true);
    printPart("acquisition", difference(m.call, m.reading), m, 0.10, false);
    printPart("reading", m.reading, m, 0.15, false);
  }
  std::printf("  thread/USB, process/USB: CPU time of this thread, of the whole process, over the raw stream's time on "
              "USB 2.0 at 40 MB/s; the goals hold the process's\n  acquisition: the whole call less its reading (the "
              "call's checks and paper moves included); reading: the zones read again on the sides the call "
              "acquired\n");
  for (const Mode& m : modes)
    std::printf("  %s: %d of %zu zones read as printed\n", m.name, readAsPrinted(m), m.cheque.items.size());
  std::printf("zone by zone, thread ms: the front's OCR image made alone, then each zone read alone (its side's OCR "
              "image included)\n%-16s %9s", "document", "OCR image");
  for (const dc::Item& it : modes[0].cheque.items) std::printf(" %10.10s", it.what.c_str());
  std::printf("\n");
  for (const Mode& m : modes) printZones(m);
  if (argc > 1) return std::system(cleanup.c_str()) == 0 ? 0 : 1;
  std::printf("peak memory, MiB, of a process that scans and reads one document and holds nothing else: its peak, "
              "the same up to the call, what the call adds, and the host's peak (its peak less the stream the "
              "software scanner holds for the call, which a scanner holds in itself; goal <= 70)\n");
  for (size_t k = 0; k < modes.size(); ++k) {
    const std::string path = dir + "/document" + std::to_string(k);
    if (!writeDocument(path, modes[k], requests[k])) break;
    const double call = peakMiB(argv[0], "memory " + path + " call"), none = peakMiB(argv[0], "memory " + path + " none");
    const double stream = modes[k].stream.size() / 1048576.0;
    std::printf("%-16s %7.1f %7.1f %7.1f %7.1f%s\n", modes[k].name, call, none, call - none, call - stream,
                call - stream <= 70 ? "" : "  missed");
  }
  return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
