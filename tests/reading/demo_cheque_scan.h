// The demo cheques scanned through the exported calls on the software scanner: the scanner and
// the library opened in a directory of the test's own, a cheque fed as a transport shows it, one
// zone per printed item added with PVKOCRZoneAdd, one PVKImgScan1, and each zone's text and
// count checked against what was printed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "PlavikMS.h"
#include "demo_cheque.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"
#include "scanner_library.h"

namespace demoscan {

namespace dc = pvk::democheque;

inline std::vector<std::string> splitTabs(const std::string& s) {
  std::vector<std::string> out(1);
  for (char ch : s)
    if (ch == '\t')
      out.emplace_back();
    else
      out.back() += ch;
  return out;
}

// Zones that do not read their print yet through the whole chain. Each still gets its slot; a
// zone listed here that starts reading right fails the test so that it moves out of the list.
inline bool knownNotToRead(const std::string& what) {
  static const std::vector<std::string> kNot = {};
  return std::find(kNot.begin(), kNot.end(), what) != kNot.end();
}

class DemoChequeScan : public ::testing::Test, protected scanlib::OpenLibrary {
 protected:
  // The library opened on a bus holding one scanner of this profile (changed by tweak), 300 dpi
  // both sides.
  void open(void (*profile)(pvkemu_profile*), void (*tweak)(pvkemu_profile&) = nullptr) {
    pvkemu_profile p;
    profile(&p);
    if (tweak) tweak(p);
    ASSERT_NO_FATAL_FAILURE(openLibrary(p, "pvkcheque"));
    ASSERT_EQ(PVKDBDirSet(handle(), PVK_FONT_DB_DIR), 0);
    ASSERT_EQ(PVKImgCreate(handle(), 300, 300), 0);
  }
  void TearDown() override { closeLibrary(); }

  // The transport's sides at the next acquisition, the grey plane standing for every colour
  // plane; the sheet at the entry photocell until `moves` acquisitions started.
  void feed(const dc::Transport& t, int moves = 1) {
    pvkemu_document d{};
    d.width = static_cast<uint32_t>(t.sensorPixels);
    d.height = static_cast<uint32_t>(t.lines);
    for (int p = 0; p < 3; ++p) {
      d.front[p] = t.front.data();
      d.rear[p] = t.rear.data();
    }
    if (!t.micr.empty()) {
      d.micr = t.micr.data();
      d.micr_length = t.micr.size();
    }
    d.micr_per_slot = static_cast<uint32_t>(t.micrPerSlot);
    ASSERT_EQ(pvkemu_feed(0, &d), 0);
    pvkemu_sheet(0, 0, moves, PVKEMU_SHEET_ENTRY);
  }
  // One zone per item (its font, or `font` when given), in the order given.
  void addZones(const std::vector<dc::Item>& items, uint16_t rotation = 0) {
    OCRDoc = PVKOCRDoc{};  // the table the zone calls fill; nothing else clears it
    for (const dc::Item& it : items)
      ASSERT_GT(PVKOCRZoneAdd(handle(), 300, static_cast<short>(it.left), static_cast<short>(it.top),
                              static_cast<short>(it.width), static_cast<short>(it.height), 1, it.font, 0),
                0);
    ASSERT_EQ(PVKOCRZoneRotateDoc(handle(), static_cast<short>(rotation)), 0);
  }
  int scanZones(short size = sizeof(text)) {
    std::memset(text, 0, sizeof text);
    std::memset(conf, 0, sizeof conf);
    return PVKImgScan1(handle(), &OCRDoc, text, conf, size);
  }
  // Feeds the cheque, adds one zone per item, scans; the result.
  int scan(const dc::Cheque& c, bool upsideDown) {
    feed(dc::onTransport(c, upsideDown));
    addZones(c.items, upsideDown ? 512 : 0);
    return scanZones();
  }
  // Each zone holds what was printed (or, for a zone known not to read, anything else), its count
  // is its length in the output, and each TAB has the confidence 'd'.
  void expectRead(const std::vector<dc::Item>& items) {
    const std::vector<std::string> got = splitTabs(text);
    ASSERT_EQ(got.size(), items.size()) << text;
    for (size_t k = 0; k < got.size(); ++k) {
      const dc::Item& it = items[k];
      SCOPED_TRACE(it.what);
      if (knownNotToRead(it.what)) {
        EXPECT_NE(got[k], it.text) << "reads now: take it off the list";
      } else {
        EXPECT_EQ(got[k], it.text);
      }
      EXPECT_EQ(PVKOCRZoneNChar(handle(), static_cast<short>(k)), static_cast<int>(got[k].size()));
    }
    for (size_t i = 0; i < std::strlen(text); ++i) {
      if (text[i] == '\t') {
        EXPECT_EQ(conf[i], 'd');
      }
    }
  }
  void expectRead(const dc::Cheque& c) { expectRead(c.items); }

  char text[1024]{};
  char conf[1024]{};
};

}  // namespace demoscan
