// PVKImgScan1 on cheques that carry printed lines, as a host calls it on the software scanner:
// one zone, the codeline's, fed upright for the optical zone fonts and lengthwise past the head,
// with the samples of the same ink, for the magnetic ones. The time is the thread CPU time of the
// whole call (acquisition and reading), set beside the cheque's raw stream on USB 2.0.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "PlavikMS.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"
#include "print_bench.h"

namespace pvk::printbench {

namespace {

constexpr short kTextSize = 1024;

// The library opened on one software scanner of the full profile (the one with the head), grey,
// 300 dpi both sides, in a directory of its own; the device under a serial of its own, so that
// other programs driving the software scanner's default device do not make this one wait.
struct Session {
  int dev = -1, handle = -1;
  std::string dir;
  bool open() {
    char tmpl[] = "/tmp/pvk_codeline_print_XXXXXX";
    if (!mkdtemp(tmpl)) return false;
    dir = tmpl;
    pvkemu_clock_virtual(1);  // the library's waits cost no time
    pvkemu_reset();
    pvkemu_profile p;
    pvkemu_profile_full(&p);
    std::snprintf(p.serial, sizeof p.serial, "%08d", 22000000 + static_cast<int>(getpid() % 1000000));
    dev = pvkemu_add_device(&p);
    handle = PVKInitialize(reinterpret_cast<unsigned char*>(dir.data()));
    return dev >= 0 && handle > 0 && PVKDBDirSet(h(), PVK_FONT_DB_DIR) == 0 && PVKImgCreate(h(), 300, 300) == 0 &&
           PVKSetParameter(0, 1) == 0;
  }
  void* h() const { return reinterpret_cast<void*>(static_cast<intptr_t>(handle)); }
  ~Session() {
    if (handle > 0) PVKClose(h());
    if (!dir.empty()) (void)!std::system(("rm -rf '" + dir + "'").c_str());
  }
};

char text[kTextSize], conf[kTextSize];

// Feeds the cheque, adds its zone, scans; the call's result, its text in `text`.
int scan(const Session& s, const cp::Cheque& c, double& seconds) {
  const democheque::Transport& t = c.transport;
  pvkemu_document d{};
  d.width = static_cast<uint32_t>(t.sensorPixels);
  d.height = static_cast<uint32_t>(t.lines);
  d.front[0] = t.front.data();
  d.rear[0] = t.rear.data();
  if (!t.micr.empty()) {
    d.micr = t.micr.data();
    d.micr_length = t.micr.size();
  }
  d.micr_per_slot = static_cast<uint32_t>(t.micrPerSlot);
  if (pvkemu_feed(s.dev, &d) != 0) return -1;
  pvkemu_sheet(s.dev, 0, 1, PVKEMU_SHEET_ENTRY);
  OCRDoc = PVKOCRDoc{};
  const democheque::Item& z = c.cheque.items.at(0);
  if (PVKOCRZoneAdd(s.h(), 300, static_cast<short>(z.left), static_cast<short>(z.top), static_cast<short>(z.width),
                    static_cast<short>(z.height), 1, z.font, 0) <= 0 ||
      PVKOCRZoneRotateDoc(s.h(), 0) != 0)
    return -1;
  std::memset(text, 0, sizeof text);
  std::memset(conf, 0, sizeof conf);
  const double t0 = threadSeconds();
  const int r = PVKImgScan1(s.h(), &OCRDoc, text, conf, kTextSize);
  seconds = threadSeconds() - t0;
  return r;
}

void readFont(const Session& s, const cp::PrintFont& font, const Options& o, Cells& cells) {
  const cp::Micr kind = font.spec().kind;
  const short optical = kind == cp::Micr::E13B ? 1 : 0, magnetic = kind == cp::Micr::E13B ? 33 : 32;
  for (const std::string& condition : cp::conditionNames()) {
    // Zone font 34 reads a line as 32, then as 33: it should hand out what the font's own gave.
    std::vector<std::string> ownReadings;
    int differ = 0;
    for (short zoneFont : {optical, magnetic, short{34}}) {
      Cell& cell = cells.at("PVKImgScan1 " + std::to_string(zoneFont), kind, 300, condition);
      for (int k = 1; k <= o.lines; ++k) {
        const auto seed = static_cast<uint32_t>(k);
        const cp::Cheque c = cp::printCheque(font, {cp::sampleLine(kind, seed), 300, condition, seed}, zoneFont,
                                             cp::headImpairments(condition, seed));
        double seconds = 0;
        const int r = scan(s, c, seconds);
        // A failed call counts as a line read as nothing; a warning keeps what was read.
        const int n = r >= 0 ? static_cast<int>(std::strlen(text)) : 0;
        if (r != 0) std::printf("  %s line %d: PVKImgScan1 returned %d\n", cell.reader.c_str(), k, r);
        cell.tally.add(score(c.truth, text, conf, n, seconds));
        cell.usbSeconds += c.streamBytes / kUsbBytesPerSecond;
        const auto len = static_cast<size_t>(n);
        const std::string reading = std::string(text, len) + '\t' + std::string(conf, len);
        if (zoneFont == magnetic) ownReadings.push_back(reading);
        if (zoneFont == 34 && ownReadings.at(static_cast<size_t>(k - 1)) != reading) ++differ;
      }
    }
    std::printf("  PVKImgScan1 34 on %s %s: %d of %d lines read otherwise than by %d (text or confidences)\n",
                kind == cp::Micr::E13B ? "E13B" : "CMC7", condition.c_str(), differ, o.lines, magnetic);
  }
}

}  // namespace

bool readScanned(const std::vector<const cp::PrintFont*>& fonts, const Options& o, Cells& cells) {
  // One session for the run: the library settles its configuration directory once per process.
  Session s;
  if (!s.open()) {
    std::printf("bench_codeline_print: the library does not open on the software scanner (last result %d)\n",
                PVKGetLastResult());
    return false;
  }
  for (const cp::PrintFont* f : fonts) readFont(s, *f, o, cells);
  return true;
}

}  // namespace pvk::printbench
