// Host-side cost of one scan-and-read call on the demo cheque (an OCR-B line, a Code 128, a
// PDF417, a DataMatrix and a CMC7 codeline at 300 dpi), grey and colour: PVKImgScan1 as a host
// calls it, and the reading of its zones again on the sides it acquired, so that acquisition
// (the call less its reading) and reading stand apart. CPU time of this thread, CPU time of the
// process (OpenCV's worker threads included) and wall time, medians of rounds in which grey and
// colour take turns, beside the time the raw stream takes on a USB 2.0 high-speed link (about
// 40 MB/s) and beside a memcpy of its bytes measured in the same rounds.
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

#include "../../tests/common/synthetic_cheque.h"
#include "../bench_timing.h"
#include "PlavikMS.h"
#include "control/control.h"
#include "core/records.h"
#include "demo_cheque.h"
#include "document/document.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"
#include "reading/reading.h"

namespace {

namespace dc = pvk::democheque;
using pvk::bench::kernelSeconds;
using pvk::bench::median;

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
  bool colour;
  std::vector<uint8_t> stream;  // what the scanner sends for the document
  std::string text;             // what the fed document read as, and its sides' sizes
  int width = 0, rows = 0;
  uint8_t config[33]{};
  Times call, reading;
  std::vector<double> copy;
};

// The device under its own serial: the control lock is per device across processes, and other
// programs driving the software scanner's default device would otherwise make this one wait.
struct Session {
  int dev = -1, handle = -1;
  std::string dir;
  bool open(const std::string& d) {
    dir = d;
    pvkemu_reset();
    pvkemu_profile p;
    pvkemu_profile_full(&p);
    std::snprintf(p.serial, sizeof p.serial, "%08d", 21000000 + static_cast<int>(getpid() % 1000000));
    dev = pvkemu_add_device(&p);
    handle = PVKInitialize(reinterpret_cast<unsigned char*>(dir.data()));
    return dev >= 0 && handle > 0 && PVKDBDirSet(h(), PVK_FONT_DB_DIR) == 0 && PVKImgCreate(h(), 300, 300) == 0;
  }
  void* h() const { return reinterpret_cast<void*>(static_cast<intptr_t>(handle)); }
  void close() {
    if (handle > 0) PVKClose(h());
    handle = -1;
  }
};

// One zone a printed item, on the front, in pixels of the 300 dpi document.
PVKOCRDoc request(const Session& s, const dc::Cheque& c) {
  OCRDoc = PVKOCRDoc{};
  for (const dc::Item& it : c.items)
    PVKOCRZoneAdd(s.h(), 300, static_cast<short>(it.left), static_cast<short>(it.top),
                  static_cast<short>(it.width), static_cast<short>(it.height), 1, it.font, 0);
  PVKOCRZoneRotateDoc(s.h(), 0);
  return OCRDoc;
}

char text[kTextSize], conf[kTextSize];

int scan(const Session& s, const PVKOCRDoc& req) {
  pvkemu_sheet(s.dev, 0, 1, PVKEMU_SHEET_ENTRY);
  OCRDoc = req;  // the call writes counts and fonts back into the table
  return PVKImgScan1(s.h(), &OCRDoc, text, conf, kTextSize);
}

// The zones read again on the sides the last call acquired, set up as the call sets them up.
int readAgain(const PVKOCRDoc& req, Times& times) {
  MyOcr.typeDoc = MyOcr.typeDocSaved;
  AggiornaFirstBarcodeRead(VX3_BARCODE_NONE);
  MyMICR.enabled = 0;
  MyMICR.cdlFound = 0;
  OCRDoc = req;
  if (!Vx3Read_CheckParameter(&OCRDoc, text, conf)) return MyDev.lastResult;
  const Stopwatch from;
  const int r = Vx3ReadDoc(&OCRDoc, text, conf, kTextSize);
  times.add(from);
  MyOcrFree(1, true);
  MyOcrFree(0, true);
  MyOcrFree(2, true);
  MyMICR.enabled = 0;
  return r;
}

// The scanner fed the document itself: what it reads as, the sides' sizes and the configuration
// the scanner was sent, for the queued streams to match.
bool readFed(Session& s, const dc::Cheque& c, const dc::Transport& t, Mode& m) {
  pvkemu_document d{};
  d.width = static_cast<uint32_t>(t.sensorPixels);
  d.height = static_cast<uint32_t>(t.lines);
  for (int p = 0; p < (m.colour ? 3 : 1); ++p) {  // a colour scan of a cheque printed in grey
    d.front[p] = t.front.data();
    d.rear[p] = t.rear.data();
  }
  PVKSetParameter(0, m.colour ? 2 : 1);
  if (pvkemu_feed(s.dev, &d) != 0 || scan(s, request(s, c)) != 0) return false;
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

// One round of a mode: the call on the queued stream, its zones read again, and a memcpy.
bool round(const Session& s, const PVKOCRDoc& req, Mode& m, bool counted) {
  PVKSetParameter(0, m.colour ? 2 : 1);
  pvkemu_stream_push(s.dev, m.stream.data(), m.stream.size());
  pvkemu_stream_end(s.dev);
  Times warmUp;  // the rounds not counted
  Times& call = counted ? m.call : warmUp;
  Times& reading = counted ? m.reading : warmUp;
  const Stopwatch from;
  const int r = scan(s, req);
  call.add(from);
  if (r != 0 || !sameAsFed(s, m)) {
    std::printf("%s: the call returned %d and read [%s], the fed document [%s]\n", m.name, r, text, m.text.c_str());
    return false;
  }
  if (readAgain(req, reading) != 0 || text != m.text) {
    std::printf("%s: read again as [%s], in the call [%s]\n", m.name, text, m.text.c_str());
    return false;
  }
  std::vector<uint8_t> target(m.stream.size());
  const double c0 = kernelSeconds(CLOCK_THREAD_CPUTIME_ID);
  std::memcpy(target.data(), m.stream.data(), m.stream.size());
  const double c1 = kernelSeconds(CLOCK_THREAD_CPUTIME_ID);
  if (counted) m.copy.push_back(c1 - c0);
  return true;
}

int readAsPrinted(const Mode& m, const dc::Cheque& c) {
  int n = 0;
  size_t from = 0;
  for (const dc::Item& it : c.items) {
    const size_t tab = m.text.find('\t', from);
    n += m.text.substr(from, tab == std::string::npos ? std::string::npos : tab - from) == it.text;
    from = tab == std::string::npos ? m.text.size() : tab + 1;
  }
  return n;
}

void printPart(const char* part, const Times& t, const Mode& m, double usb, double copy, bool first) {
  const double host = median(t.thread);
  if (first)
    std::printf("%-15s %7.2f %8.2f %8.3f", m.name, m.stream.size() / 1e6, usb * 1e3, copy * 1e3);
  else
    std::printf("%-15s %7s %8s %8s", "", "", "", "");
  std::printf("  %-12s %9.2f %10.2f %8.2f %8.3f %9.1f\n", part, host * 1e3, median(t.process) * 1e3,
              median(t.wall) * 1e3, host / usb, host / std::max(copy, 1e-9));
}

}  // namespace

int main() {
  pvkemu_clock_virtual(1);  // the library's waits cost no time; CPU time is measured apart
  char tmpl[] = "/tmp/pvk_bench_XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;
  const dc::Cheque cheque = dc::makeCheque(202);
  const dc::Transport t = dc::onTransport(cheque, false);
  Mode modes[] = {{"grey 300 dpi", false, {}, {}, 0, 0, {}, {}, {}, {}},
                  {"colour 300 dpi", true, {}, {}, 0, 0, {}, {}, {}, {}}};
  bool ok = true;
  Session s;
  // Fed by the scanner, each mode in a session of its own: a fed document is fed again at every
  // acquisition start, and would take the place of the queued stream.
  for (Mode& m : modes) {
    ok = ok && s.open(dir) && readFed(s, cheque, t, m);
    s.close();
    pvk::testing::SidePlanes front{t.sensorPixels, t.lines, std::vector<std::vector<uint8_t>>(m.colour ? 3 : 1, t.front)};
    pvk::testing::SidePlanes rear{t.sensorPixels, t.lines, std::vector<std::vector<uint8_t>>(m.colour ? 3 : 1, t.rear)};
    m.stream = pvk::testing::plainStream(front, rear);
  }
  if (!ok) std::printf("bench_scan_read: the fed demo cheque did not scan (last result %d)\n", PVKGetLastResult());
  ok = ok && s.open(dir);
  const PVKOCRDoc req = ok ? request(s, cheque) : PVKOCRDoc{};
  double load[3] = {-1, -1, -1};
  if (getloadavg(load, 3) != 3) load[0] = -1;
  for (int i = -1; ok && i < kRounds; ++i)  // round -1 warms up
    for (Mode& m : modes) ok = ok && round(s, req, m, i >= 0);
  s.close();
  (void)!std::system(("rm -rf '" + dir + "'").c_str());
  if (!ok) return 1;

  std::printf("bench_scan_read: PVKImgScan1 on the demo cheque (%zu zones on the front), one document, "
              "median of %d rounds, grey and colour in turn; load average %.1f %.1f %.1f on %ld cores\n",
              cheque.items.size(), kRounds, load[0], load[1], load[2], sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("%-15s %7s %8s %8s  %-12s %9s %10s %8s %8s %9s\n", "document", "raw MB", "USB2 ms", "memcpy", "part",
              "thread ms", "process ms", "wall ms", "host/USB", "host/copy");
  for (const Mode& m : modes) {
    const double usb = m.stream.size() / kUsbBytesPerSecond, copy = median(m.copy);
    printPart("whole call", m.call, m, usb, copy, true);
    printPart("acquisition", difference(m.call, m.reading), m, usb, copy, false);
    printPart("reading", m.reading, m, usb, copy, false);
  }
  std::printf("  host/USB, host/copy: thread CPU time over the raw stream's time on USB 2.0 at 40 MB/s, over a "
              "memcpy of its bytes\n  acquisition: the whole call less its reading (the call's checks and paper "
              "moves included); reading: the zones read again on the sides the call acquired\n");
  for (const Mode& m : modes)
    std::printf("  %s: %d of %zu zones read as printed\n", m.name, readAsPrinted(m, cheque), cheque.items.size());
  return 0;
}
