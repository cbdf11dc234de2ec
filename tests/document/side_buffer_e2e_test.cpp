// The acquisition buffer is filled white and cleared only where a later step can read it. Every
// document must come out byte for byte as with the whole buffer filled and cleared at once:
// documents of several lengths in a row (each after a longer and after a shorter one), grey and
// colour, with magnetic samples, on the firmware that stretches its lines, and after a stopped
// document.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include "../common/synthetic_cheque.h"
#include "PlavikMS.h"
#include "core/image_utils.h"
#include "document/document.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"

namespace {

using pvk::testing::ChequeSpec;
using pvk::testing::SidePlanes;

// What a host can see of one document: the records' geometry, the rows of every side, the
// magnetic samples and the result.
struct Outcome {
  bool ok = false;
  int32_t result = 0;
  std::vector<int> geometry;
  std::vector<std::vector<uint8_t>> rows;
  std::vector<uint8_t> micr;
};

struct Document {
  int lines, height, width;  // stream lines and document size at 300 dpi
  bool stopped = false;      // the host presses stop during the stream
};

struct Scenario {
  const char* name;
  void (*profile)(pvkemu_profile*);
  uint16_t firmware;  // 0: the profile's own
  int planes;
  bool micr;
  std::vector<Document> documents;
};

void* stopHandle = nullptr;
int stopsLeft = 0;
void stopNow(void*) {
  if (stopsLeft-- > 0) PVKStop(stopHandle, 1);
}

Outcome observe(bool ok) {
  Outcome o;
  o.ok = ok;
  o.result = PVKGetLastResult();
  for (const ImgInfo& s : MyDev.img) {
    o.geometry.insert(o.geometry.end(), {s.rowsUsed, s.trimTop, s.trimLeft, s.trimWidth, s.rawLineBytes,
                                         s.fullHeight, s.outputFlag});
    std::vector<uint8_t> bytes;
    if (s.firstRow != nullptr) {  // a failed document keeps its records too
      uint64_t n = uint64_t(s.trimTop + s.rowsUsed) * s.rawLineBytes;
      if (s.allocBase != nullptr) n = std::min<uint64_t>(n, s.allocBase + s.bytesAllocated - s.firstRow);
      bytes.assign(s.firstRow, s.firstRow + n);
    }
    o.rows.push_back(std::move(bytes));
  }
  if (ok && MyMICR.samples != nullptr) o.micr.assign(MyMICR.samples, MyMICR.samples + MyMICR.nSamples);
  return o;
}

// Scans the scenario's documents on a fresh scanner, the buffer settled at once or as read.
std::vector<Outcome> scanAll(const Scenario& sc, bool atOnce, const std::string& dir) {
  pvk::core::settleSideBuffersAtOnce(atOnce);
  pvkemu_clock_virtual(1);
  pvkemu_reset();
  pvkemu_profile p;
  sc.profile(&p);
  if (sc.firmware) p.firmware = sc.firmware;
  if (sc.micr) {
    p.head_config[8] = 8;
    p.head_config[9] = 4;
  }
  const int dev = pvkemu_add_device(&p);
  std::string path = dir;
  const int handle = PVKInitializeSN(path.data(), nullptr);
  EXPECT_GT(handle, 0) << PVKGetLastResult();
  void* h = reinterpret_cast<void*>(static_cast<intptr_t>(handle));
  if (sc.planes == 3) {
    EXPECT_EQ(PVKSetParameter(0, 2), 0);
  }
  std::vector<Outcome> out;
  for (size_t i = 0; handle > 0 && i < sc.documents.size(); ++i) {
    const Document& d = sc.documents[i];
    ChequeSpec spec;
    spec.lines = d.lines;
    spec.height = d.height;
    spec.width = d.width;
    spec.centreY = d.lines / 2.0;
    spec.angleDeg = i % 2 ? -2.5 : 1.5;
    const SidePlanes front = pvk::testing::drawSide(spec, sc.planes, false);
    const SidePlanes rear = pvk::testing::drawSide(spec, sc.planes, true);
    std::vector<uint8_t> micr;
    pvkemu_document doc{};
    doc.width = static_cast<uint32_t>(spec.sensorPixels);
    doc.height = static_cast<uint32_t>(spec.lines);
    for (int k = 0; k < sc.planes; ++k) {
      doc.front[k] = front.planes[k].data();
      doc.rear[k] = rear.planes[k].data();
    }
    MyMICR.enabled = sc.micr ? 1 : 0;  // a codeline zone of the reader switches the head on
    if (sc.micr) {
      micr.resize(static_cast<size_t>(spec.lines) * 64);
      for (size_t k = 0; k < micr.size(); ++k) micr[k] = static_cast<uint8_t>(0x40 + (k + i) % 97);
      doc.micr = micr.data();
      doc.micr_length = micr.size();
      doc.micr_per_slot = MyMICR.samplesTwoSides;
    }
    EXPECT_EQ(pvkemu_feed(dev, &doc), 0);
    pvkemu_sheet(dev, 0, 1, PVKEMU_SHEET_ENTRY);
    if (d.stopped) {
      stopHandle = h;
      stopsLeft = 1;
      pvkemu_stream_fault(dev, PVKEMU_STREAM_CALLBACK, 600000, stopNow, nullptr);
    }
    const bool ok = Vx3Read_AcquireImg();
    out.push_back(observe(ok));
    if (d.stopped) PVKScanEnable(h, 0);  // clears the stop request
  }
  if (handle > 0) PVKClose(h);
  pvk::core::settleSideBuffersAtOnce(false);
  return out;
}

// gtest prints a scenario by its name.
void PrintTo(const Scenario& sc, std::ostream* os) { *os << sc.name; }

class SettledAsRead : public ::testing::TestWithParam<Scenario> {};

TEST_P(SettledAsRead, EveryDocumentComesOutAsWithTheWholeBufferFilled) {
  const Scenario& sc = GetParam();
  char tmpl[] = "/tmp/pvk_sidebuf_XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  const std::vector<Outcome> want = scanAll(sc, true, dir);
  const std::vector<Outcome> got = scanAll(sc, false, dir);
  const std::string cmd = "rm -rf " + dir;
  (void)!std::system(cmd.c_str());
  ASSERT_EQ(want.size(), sc.documents.size());
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE("document " + std::to_string(i));
    EXPECT_EQ(want[i].ok, !sc.documents[i].stopped) << want[i].result;
    EXPECT_EQ(got[i].ok, want[i].ok);
    EXPECT_EQ(got[i].result, want[i].result);
    EXPECT_EQ(got[i].geometry, want[i].geometry);
    for (size_t s = 0; s < want[i].rows.size(); ++s) {
      EXPECT_EQ(got[i].rows[s].size(), want[i].rows[s].size()) << "side " << s;
      EXPECT_TRUE(got[i].rows[s] == want[i].rows[s]) << "side " << s;
    }
    EXPECT_TRUE(got[i].micr == want[i].micr);
    if (want[i].ok) {
      EXPECT_FALSE(want[i].rows[1].empty());
    }
  }
}

// Each document follows a longer or a shorter one; the first finds a fresh buffer.
const Document kLong{1900, 1400, 1800}, kShort{640, 420, 1200}, kMedium{1100, 800, 1700};
const Document kStopped{1900, 1400, 1800, true};

INSTANTIATE_TEST_SUITE_P(
    Documents, SettledAsRead,
    ::testing::Values(Scenario{"grey", pvkemu_profile_basic, 0, 1, false, {kLong, kShort, kMedium}},
                      Scenario{"colour", pvkemu_profile_full, 0, 3, false, {kMedium, kShort}},
                      Scenario{"magnetic", pvkemu_profile_full, 0, 1, true, {kLong, kShort}},
                      Scenario{"stretching", pvkemu_profile_full, 0x4002, 1, false, {kLong, kShort}},
                      Scenario{"stopped", pvkemu_profile_basic, 0, 1, false, {kLong, kStopped, kShort}}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

}  // namespace
