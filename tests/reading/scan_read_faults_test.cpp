// Scan-and-read calls that must fail rather than pass for a read: a stream the scanner cut inside
// the document, a page that holds nothing the zones look for.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "demo_cheque_scan.h"

namespace {

namespace dc = pvk::democheque;

class Faults : public demoscan::DemoChequeScan {
 protected:
  std::string trace() const {
    std::ifstream f(dir + "/libPlavikMS_scan_read_faults_tests.log");
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  // No zone gave a character; the text holds at most the TABs between empty zones.
  void expectNothingRead(size_t zones) {
    EXPECT_EQ(std::string(text).find_first_not_of('\t'), std::string::npos) << text;
    for (size_t k = 0; k < zones; ++k) EXPECT_EQ(PVKOCRZoneNChar(handle(), static_cast<short>(k)), 0) << k;
  }
};

// The grey cheque's stream holds 1100 raw lines of 5184 bytes, the paper in lines 120..919: cut
// before the paper shows, inside it, and one line before its end. The call fails as a device not
// working, reads no zone, and the next document reads again.
TEST_F(Faults, AStreamCutInsideTheDocumentIsADeviceError) {
  open(pvkemu_profile_basic);
  const dc::Cheque c = dc::makeCheque(202);
  for (size_t cut : {size_t{100} << 10, size_t{1} << 20, size_t{919} * 5184}) {
    SCOPED_TRACE(cut);
    feed(dc::onTransport(c, false));
    ASSERT_EQ(pvkemu_stream_fault(0, PVKEMU_STREAM_SHORT, cut, nullptr, nullptr), 0);
    addZones(c.items);
    const size_t before = trace().size();
    EXPECT_EQ(scanZones(), PVK_ERR_NOT_READY);
    EXPECT_EQ(PVKGetLastResult(), PVK_ERR_NOT_READY);
    expectNothingRead(c.items.size());
    EXPECT_NE(trace().find("image stream ended inside the document", before), std::string::npos);
    pvkemu_clear_faults();
  }
  // The whole stream, its last lines the transport behind the paper: a document.
  ASSERT_EQ(pvkemu_stream_fault(0, PVKEMU_STREAM_SHORT, size_t{921} * 5184, nullptr, nullptr), 0);
  EXPECT_EQ(scan(c, false), 0);
  expectRead(c);
}

// Zones on a cheque that carries no print: every zone was read and none gave a character.
TEST_F(Faults, ABlankChequeReadsAsAnOcrError) {
  open(pvkemu_profile_basic);
  dc::Cheque c = dc::makeCheque(202);
  std::fill(c.front.begin(), c.front.end(), uint8_t{230});
  EXPECT_EQ(scan(c, false), PVK_ERR_OCR);
  EXPECT_EQ(PVKGetLastResult(), PVK_ERR_OCR);
  expectNothingRead(c.items.size());
}

}  // namespace
