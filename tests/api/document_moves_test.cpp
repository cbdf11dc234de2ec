// Paper moves as a host asks for them, on the software scanner (found in the process, where the
// library loaded it as libusb): moves by lines and by time reach the scanner with the right
// configuration block, leave the host's settings alone, and refuse what names no distance; a
// stop request ends them until it is cleared.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "PlavikMS.h"
#include "host_test_util.h"
#include "../../emulator/pvkemu.h"
#include "../../emulator/pvkemu_image.h"
#include "../../emulator/pvkemu_sheet.h"

namespace {

using apitest::asHandle;
using apitest::busOfOne;
using apitest::emu;

class DocumentMoves : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(emu<void*>("pvkemu_loaded"), nullptr);
    emu<void (*)(int)>("pvkemu_clock_virtual")(1);
    // The full-featured scanner, put on the bus by the test so that feeding it keeps it there.
    ASSERT_EQ(busOfOne("pvkemu_profile_full"), 0);
    char tmpl[] = "/tmp/pvkmoveXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    h = PVKInitializeSN(dir.data(), nullptr);
    ASSERT_GT(h, 0) << PVKGetLastResult();
  }
  void TearDown() override {
    PVKClose(asHandle(h));
    std::string cmd = "rm -rf '" + dir + "'";
    (void)!std::system(cmd.c_str());
  }
  // A blank sheet under the rollers, streamed at the next acquisition start.
  void paper(uint32_t lines = 400) {
    page.assign(static_cast<size_t>(2592) * lines, 200);
    pvkemu_document doc{};
    doc.width = 2592;
    doc.height = lines;
    doc.front[0] = page.data();
    doc.rear[0] = page.data();
    ASSERT_EQ(emu<int (*)(int, const pvkemu_document*)>("pvkemu_feed")(0, &doc), 0);
  }
  std::vector<uint8_t> block() {
    std::vector<uint8_t> b(33, 0);
    EXPECT_EQ(emu<int (*)(int, uint8_t*)>("pvkemu_config_block")(0, b.data()), 0);
    return b;
  }
  int starts() { return emu<int (*)(int)>("pvkemu_sheet_moves")(0); }

  std::string dir;
  int h = -1;
  std::vector<uint8_t> page;
};

}  // namespace

TEST_F(DocumentMoves, ByLinesForwardAndBack) {
  paper();
  ASSERT_EQ(PVKMoveScannerLines(asHandle(h), 1, 300, 300), 0);
  std::vector<uint8_t> b = block();
  EXPECT_EQ(b[2] & 0x01, 0x01);  // forward
  EXPECT_EQ(b[3] & 0x08, 0);     // a move by lines
  EXPECT_EQ(b[3] & 0x03, 0x03);  // no photocell wait
  EXPECT_EQ(b[1] & 0x01, 0);     // grey
  EXPECT_GE(b[10] | (b[11] << 8), 300);
  paper();
  ASSERT_EQ(PVKMoveScannerLines(asHandle(h), 0, 150, 300), 0);
  EXPECT_EQ(block()[2] & 0x01, 0);  // backward
  EXPECT_EQ(PVKGetLastResult(), 0);
}

TEST_F(DocumentMoves, ByTimeRunsAWholeDocumentLength) {
  paper();
  ASSERT_EQ(PVKMoveScanner_mSec(asHandle(h), 1, 1, 800), 0);
  std::vector<uint8_t> b = block();
  EXPECT_EQ(b[2] & 0x01, 0x01);
  EXPECT_EQ(b[3] & 0x08, 0x08);  // not a move by lines
}

TEST_F(DocumentMoves, ZeroResolutionIsRefused) {
  EXPECT_EQ(PVKMoveScannerLines(asHandle(h), 1, 300, 0), PVK_ERR_INV_PARAMETER);
  EXPECT_EQ(PVKGetLastResult(), PVK_ERR_INV_PARAMETER);
}

TEST_F(DocumentMoves, SettingsSurviveAMove) {
  ASSERT_EQ(PVKSetParameter(5, 123), 0);
  ASSERT_EQ(PVKSetParameter(0, 2), 0);
  paper();
  ASSERT_EQ(PVKMoveScannerLines(asHandle(h), 1, 100, 300), 0);
  short v = 0;
  ASSERT_EQ(PVKGetParameter(5, &v), 0);
  EXPECT_EQ(v, 123);
  ASSERT_EQ(PVKGetParameter(0, &v), 0);
  EXPECT_EQ(v, 2);
}

TEST_F(DocumentMoves, StopRequestEndsMovesUntilCleared) {
  ASSERT_EQ(PVKStop(asHandle(h), 1), 0);
  const int before = starts();
  EXPECT_EQ(PVKMoveScannerLines(asHandle(h), 1, 100, 300), PVK_ERR_ABORTED);
  EXPECT_EQ(PVKMoveScanner_mSec(asHandle(h), 1, 1, 500), PVK_ERR_ABORTED);
  EXPECT_EQ(starts(), before);  // nothing reached the scanner
  ASSERT_EQ(PVKScanEnable(asHandle(h), 0), 0);
  paper();
  EXPECT_EQ(PVKMoveScannerLines(asHandle(h), 1, 100, 300), 0);
}

TEST_F(DocumentMoves, PreScanFeedsOnlyWhenNoDocumentIsAtTheEntry) {
  emu<int (*)(int, int, int, uint32_t)>("pvkemu_sheet")(0, 0, -1, PVKEMU_SHEET_ENTRY);
  const int before = starts();
  EXPECT_EQ(PVKPreScan(asHandle(h), 1500), 0);
  EXPECT_EQ(starts(), before);
  emu<int (*)(int)>("pvkemu_sheet_remove")(0);
  paper();
  EXPECT_EQ(PVKPreScan(asHandle(h), 1500), 0);
}
