// A cheque with a codeline on the side the magnetic head reads, fed through the software
// scanner's full-featured profile with the head bytes synthesised for it; the library opened in a
// directory of its own.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "../common/synthetic_cheque.h"
#include "PlavikMS.h"
#include "document/document.h"
#include "magsynth.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"

class HeadScannerFixture : public ::testing::Test {
 protected:
  // headReversed: the head says its signal runs reversed.
  void open(const char* dirTemplate, bool headReversed) {
    pvkemu_clock_virtual(1);
    pvkemu_reset();
    std::string tmpl = dirTemplate;
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir = tmpl;
    pvkemu_profile p;
    pvkemu_profile_full(&p);
    if (headReversed) p.head_config[1] |= 0x20;
    dev = pvkemu_add_device(&p);
    handle = PVKInitializeSN(dir.data(), nullptr);
    ASSERT_GT(handle, 0) << PVKGetLastResult();
    MyMICR.enabled = 1;  // a codeline zone switches the head on
    // A cheque lying along the travel: 6 inches of document from line 200, 800 pixels across.
    spec.lines = 2200;
    spec.centreY = 1100;
    spec.height = 1800;
    spec.width = 800;
  }
  void TearDown() override {
    if (handle > 0) PVKClose(reinterpret_cast<void*>(static_cast<intptr_t>(handle)));
    (void)!std::system(("rm -rf " + dir).c_str());
  }

  // Feeds the cheque with the codeline drawn on the head's side (the rear) and its head bytes.
  void feed(const pvk::magsynth::Head& head, const pvk::magsynth::Codeline& line, int planes,
            const pvk::magsynth::Impairments& imp = {}) {
    front = pvk::testing::drawSide(spec, planes, false);
    rear = pvk::testing::drawSide(spec, planes, true);
    for (auto& plane : rear.planes)
      pvk::magsynth::drawCodeline(head, line, plane.data(), rear.width, rear.height, kColumn);
    signal = pvk::magsynth::synthesise(head, line, spec.lines, imp);
    pvkemu_document doc{};
    doc.width = static_cast<uint32_t>(spec.sensorPixels);
    doc.height = static_cast<uint32_t>(spec.lines);
    for (int p = 0; p < planes; ++p) {
      doc.front[p] = front.planes[p].data();
      doc.rear[p] = rear.planes[p].data();
    }
    pvk::magsynth::attach(signal, head, doc);
    ASSERT_EQ(pvkemu_feed(dev, &doc), 0);
    pvkemu_sheet(dev, 0, 1, PVKEMU_SHEET_ENTRY);
  }

  // The column of the rear plane where the codeline is drawn.
  static constexpr int kColumn = 1000;
  std::string dir;
  int dev = -1, handle = -1;
  pvk::testing::ChequeSpec spec;
  pvk::testing::SidePlanes front, rear;
  pvk::magsynth::Signal signal;
};
