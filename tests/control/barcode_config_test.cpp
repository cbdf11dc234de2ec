// The symbology switches and the first-barcode-read state.
#include <gtest/gtest.h>

#include <cstring>

#include "control/control.h"
#include "core/records.h"

namespace {

class BarcodeConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(MyOcr.barcodeDisabled, 0, sizeof MyOcr.barcodeDisabled);
    AggiornaFirstBarcodeRead(VX3_BARCODE_NONE);
  }
};

const short kSymbologies[] = {0, 1, 3, 4, 6, 7, 8, 9, 10};

TEST_F(BarcodeConfigTest, TypesThatNameNoSymbologyChangeNothing) {
  Vx3BarcodeTypeEnable(VX3_BARCODE_NONE, true);
  for (short t : {2, 5, -3, 11, 300}) EXPECT_FALSE(Vx3BarcodeTypeEnable(t, true)) << t;
  for (short t : kSymbologies) EXPECT_EQ(IsVx3BarcodeTypeEnabled(t), 0) << t;
}

TEST_F(BarcodeConfigTest, DisableAllThenEnableOneLeavesOnlyThatOne) {
  ASSERT_TRUE(Vx3BarcodeTypeEnable(VX3_BARCODE_NONE, true));
  ASSERT_TRUE(Vx3BarcodeTypeEnable(VX3_BARCODE_CODE128, true));
  for (short t : kSymbologies) EXPECT_EQ(IsVx3BarcodeTypeEnabled(t), t == 4 ? 1 : 0) << t;
  // Each symbology has its own flag: enabling every one in turn reaches all nine.
  for (short t : kSymbologies) Vx3BarcodeTypeEnable(t, false);
  for (short t : kSymbologies) EXPECT_EQ(IsVx3BarcodeTypeEnabled(t), 1) << t;
  for (int i = 0; i < 9; ++i) EXPECT_EQ(MyOcr.barcodeDisabled[i], 0) << i;
  Vx3BarcodeTypeEnable(VX3_BARCODE_NONE, true);
  ASSERT_TRUE(Vx3BarcodeTypeEnable(VX3_BARCODE_ALL, true));
  for (short t : kSymbologies) EXPECT_EQ(IsVx3BarcodeTypeEnabled(t), 1) << t;
}

TEST_F(BarcodeConfigTest, FlagOrderIsCodabarFirstAndUpcELast) {
  Vx3BarcodeTypeEnable(VX3_BARCODE_NONE, true);
  Vx3BarcodeTypeEnable(VX3_BARCODE_CODABAR, true);
  EXPECT_EQ(MyOcr.barcodeDisabled[0], 0);
  Vx3BarcodeTypeEnable(VX3_BARCODE_UPCE, true);
  EXPECT_EQ(MyOcr.barcodeDisabled[8], 0);
  EXPECT_EQ(MyOcr.barcodeDisabled[3], 1);  // Code 39 still off
}

TEST_F(BarcodeConfigTest, FontCodesMapThroughTheSymbologyCode) {
  EXPECT_EQ(IsBarcodeEnabled(300), 1);
  EXPECT_EQ(IsBarcodeEnabled(310), 1);
  EXPECT_EQ(IsBarcodeEnabled(302), 0);
  EXPECT_EQ(IsBarcodeEnabled(305), 0);
  // Font 7 reads every enabled symbology; it names none itself.
  EXPECT_EQ(IsBarcodeEnabled(7), 0);
  EXPECT_EQ(IsBarcodeEnabled(-32768), 0);
}

TEST_F(BarcodeConfigTest, FirstDecodeSticksUntilTheNextReset) {
  EXPECT_EQ(WhichIsFirstBarcodeRead(), -2);
  AggiornaFirstBarcodeRead(VX3_BARCODE_CODE128);
  AggiornaFirstBarcodeRead(VX3_BARCODE_CODE39);
  EXPECT_EQ(WhichIsFirstBarcodeRead(), 4);
  AggiornaFirstBarcodeRead(VX3_BARCODE_NONE);
  EXPECT_EQ(WhichIsFirstBarcodeRead(), -2);
  AggiornaFirstBarcodeRead(VX3_BARCODE_CODE39);
  EXPECT_EQ(WhichIsFirstBarcodeRead(), 0);
}

}  // namespace
