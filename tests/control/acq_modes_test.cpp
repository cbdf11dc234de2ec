// Colour codes, side switches, the automatic mode choice and the disabled-mode tables.
#include "control_fixture.h"

namespace {

using pvk::test::ControlTest;

struct ColourCase {
  unsigned char code;
  bool colourHw, irHw, uvHw;
  bool ok;
  uint8_t readBack, lines, planes, led;
};

TEST_F(ControlTest, ColourCodes) {
  const ColourCase cases[] = {
      {1, false, false, false, true, 1, 1, 1, 1},   {2, true, false, false, true, 2, 3, 3, 2},
      {2, false, true, true, false, 0, 0, 0, 0},    {4, true, false, false, true, 4, 3, 3, 4},
      {6, true, true, true, false, 0, 0, 0, 0},     {0, true, true, true, false, 0, 0, 0, 0},
      {9, false, true, false, true, 9, 1, 2, 1},    {24, false, true, true, true, 25, 1, 3, 1},
      {24, false, true, false, false, 0, 0, 0, 0},  {18, true, false, true, true, 18, 3, 4, 2},
      {26, true, true, true, true, 26, 3, 5, 2},    {8, false, false, true, false, 0, 0, 0, 0},
  };
  for (const ColourCase& c : cases) {
    SetUp();
    MyDev.FwCapI = c.colourHw;
    MyDev.irHw = c.irHw;
    MyDev.uvHw = c.uvHw;
    MyAcq.colour = 7;  // marks the record: a refusal must put it back whole
    const AcqInfo before = MyAcq;
    ASSERT_EQ(SetColor(c.code, false), c.ok) << int(c.code);
    if (!c.ok) {
      EXPECT_EQ(std::memcmp(&MyAcq, &before, sizeof before), 0) << int(c.code);
      EXPECT_EQ(Vx3ResultGet(), -3);
      continue;
    }
    short v = 0;
    ASSERT_EQ(Vx3ParamGet(VX3_PAR_COLOR, &v), 0);
    EXPECT_EQ(v, c.readBack) << int(c.code);
    EXPECT_EQ(MyAcq.colourLines, c.lines) << int(c.code);
    EXPECT_EQ(MyAcq.planesPerLine, c.planes) << int(c.code);
    EXPECT_EQ(MyAcq.greyLed, c.led) << int(c.code);
    EXPECT_EQ(MyAcq.ir, (c.code & 8) ? 1 : 0);
    EXPECT_EQ(MyAcq.uv, (c.code & 16) ? 1 : 0);
  }
  SetUp();
  MyDev.irHw = 1;
  EXPECT_FALSE(SetColor(16, false));
  EXPECT_TRUE(traced("UV not supported"));
  EXPECT_FALSE(SetColor(6, true));  // quiet: no refusal line
  EXPECT_EQ(trace().find("invalid color request 6"), std::string::npos);
}

TEST_F(ControlTest, FrontOffTruthTable) {
  struct Row { bool off, cap, alt, backlight, micr; uint16_t micrSide, single; bool result; };
  const Row rows[] = {
      {false, true, false, false, false, 0, 0, false}, {true, true, false, false, false, 0, 0, true},
      {true, false, false, false, false, 0, 0, false}, {true, true, true, false, false, 0, 0, false},
      {true, true, false, true, false, 0, 0, false},   {true, true, false, false, true, 0, 6, true},
      {true, true, false, false, true, 0, 0, false},   {true, true, false, false, true, 1, 6, false},
  };
  for (const Row& r : rows) {
    SetUp();
    MyDev.img[1].hasData = 1;
    MyDev.FwCapB = r.cap;
    MyDev.altSideLayout = r.alt;
    MyAcq.backlight = r.backlight;
    MyMICR.enabled = r.micr;
    MyMICR.side = r.micrSide;
    MyMICR.samplesOneSide = r.single;
    EXPECT_EQ(SetFrontOff(r.off), r.result);
    EXPECT_EQ(MyAcq.frontOff, r.result ? 1 : 0);
    EXPECT_EQ(MyDev.img[1].hasData, r.off ? 0 : 1);
  }
}

TEST_F(ControlTest, RearOffTruthTable) {
  struct Row { bool off, rear, cap, alt, dfHw, dfOn, backlight, micr; uint16_t micrSide, single; bool result; };
  const Row rows[] = {
      {true, true, true, false, false, false, false, false, 0, 0, true},
      {false, false, true, false, false, false, false, false, 0, 0, true},  // no rear side at all
      {false, true, true, false, false, false, false, false, 0, 0, false},
      {true, true, false, false, false, false, false, false, 0, 0, false},
      {true, true, true, true, false, false, false, false, 0, 0, false},
      {true, true, true, false, true, true, false, false, 0, 0, false},
      {true, true, true, false, true, false, false, false, 0, 0, true},
      {true, true, true, false, false, false, true, false, 0, 0, false},
      {true, true, true, false, false, false, false, true, 0, 6, false},  // the head reads the rear
      {true, true, true, false, false, false, false, true, 1, 0, false},
      {true, true, true, false, false, false, false, true, 1, 6, true},
  };
  for (const Row& r : rows) {
    SetUp();
    MyDev.img[0].hasData = 1;
    MyDev.rearPresent = r.rear;
    MyDev.FwCapC = r.cap;
    MyDev.altSideLayout = r.alt;
    MyDev.doubleFeedHw = r.dfHw;
    MyAcq.doubleFeed = r.dfOn;
    MyAcq.backlight = r.backlight;
    MyMICR.enabled = r.micr;
    MyMICR.side = r.micrSide;
    MyMICR.samplesOneSide = r.single;
    EXPECT_EQ(SetRearOff(r.off), r.result);
    EXPECT_EQ(MyAcq.rearOff, r.result ? 1 : 0);
    EXPECT_EQ(MyDev.img[0].hasData, r.off ? 0 : 1);
  }
}

TEST_F(ControlTest, AutomaticSidesAndRotationsFollowTheMagneticHead) {
  SetDefaultSideAndRotationAuto();
  EXPECT_EQ(MyAcq.autoFrontSide, 1);
  EXPECT_EQ(MyAcq.autoRearSide, 0);
  MyMICR.enabled = 1;
  MyMICR.side = 0;
  MyMICR.rotation = 256;
  MyDev.backlightSide = 1;
  SetDefaultSideAndRotationAuto();
  EXPECT_EQ(MyAcq.autoFrontSide, 0);
  EXPECT_EQ(MyAcq.autoRearSide, 1);
  EXPECT_EQ(MyAcq.rotation[0], 256);
  EXPECT_EQ(MyAcq.rotation[1], 768);
  EXPECT_EQ(MyAcq.rotation[2], 768);
  MyMICR.side = 1;
  MyMICR.rotation = 768;
  SetDefaultSideAndRotationAuto();
  EXPECT_EQ(MyAcq.rotation[1], 768);
  EXPECT_EQ(MyAcq.rotation[0], 256);
}

// Automatic choice: requested resolutions (v already times the colour lines) to the mode.
struct Choice { bool hs, colour, micr, backlight; uint8_t disabled; unsigned h, v; int mode; };

TEST_F(ControlTest, AutomaticModeChoice) {
  const Choice cases[] = {
      {true, false, false, false, 0, 300, 300, 3},   // grey 300
      {true, false, false, false, 0, 600, 600, 3},   // mode 0 is off in the first pass
      {false, true, false, false, 0, 300, 900, 2},   // colour on a full-speed link
      {true, true, false, false, 0, 300, 900, 1},    // colour on a high-speed link
      {false, true, false, false, 0x06, 300, 900, 2},  // nothing fits: second pass
      {true, false, false, false, 0, 200, 200, 3},
      {false, true, false, false, 0, 200, 600, 2},
  };
  for (const Choice& c : cases) {
    SetUp();
    MyDev.highSpeed = c.hs;
    MyAcq.rgb = c.colour;
    MyAcq.colourLines = c.colour ? 3 : 1;
    MyMICR.enabled = c.micr;
    MyAcq.backlight = c.backlight;
    MyAcq.disabledModes = c.disabled;
    SetAcquisitionMode(c.h, c.v);
    EXPECT_EQ(MyAcq.mode, c.mode) << c.h << "x" << c.v << " colour " << c.colour << " hs " << c.hs;
  }
}

TEST_F(ControlTest, DisabledModeTables) {
  uint8_t t[8];
  MyAcq.disabledModes = 0x0A;
  pvk::control::disabledModeTable(t, false);
  const uint8_t plain[8] = {1, 1, 0, 1, 1, 1, 1, 1};
  EXPECT_EQ(std::memcmp(t, plain, 8), 0);
  MyDev.irHw = 1;  // IR or UV hardware: only mode 3 in grey, only mode 1 in colour
  pvk::control::disabledModeTable(t, false);
  EXPECT_EQ(t[1] + t[2] * 2 + t[3] * 4, 1 + 2);
  MyAcq.rgb = 1;
  pvk::control::disabledModeTable(t, false);
  EXPECT_EQ(t[1] + t[2] * 2 + t[3] * 4, 2 + 4);
  MyDev.irHw = 0;
  MyDev.slowAcq = 1;  // slow: mode 3 always, mode 1 in colour
  pvk::control::disabledModeTable(t, false);
  EXPECT_EQ(t[1] + t[2] * 2 + t[3] * 4, 2);
  // A locked mode 0 is refused by the standard table whatever DisAcqMode says.
  MyAcq.disabledModes = 0;
  MyAcq.mode = 0;
  EXPECT_FALSE(ModoAbilitato());
  EXPECT_EQ(Vx3ResultGet(), -3);
}

TEST_F(ControlTest, ProductBVariant) {
  MyDev.productId = pvk::control::kProductMox;
  MyAcq.disabledModes = 0x8F;
  Vx3ResultSet(5);
  EXPECT_FALSE(ModoAbilitato());
  EXPECT_TRUE(traced("all modes disabled"));
  EXPECT_EQ(Vx3ResultGet(), 5);  // left alone
  MyAcq.disabledModes = 0;
  MyAcq.mode = 7;
  EXPECT_TRUE(ModoAbilitato());
  MyAcq.mode = 4;
  EXPECT_FALSE(ModoAbilitato());
  SetAcquisitionMode(200, 200);
  EXPECT_EQ(MyAcq.mode, 7);
  SetAcquisitionMode(300, 900);
  EXPECT_EQ(MyAcq.mode, 0);  // grey above 300 dpi on a high-speed link
  MyMICR.enabled = 1;
  SetAcquisitionMode(300, 500);
  EXPECT_EQ(MyAcq.mode, 1);
  EXPECT_FALSE(pvk::control::modeAllowed(6, true));
}

TEST_F(ControlTest, ForcedModeFiveIsAlwaysRefused) {
  MyAcq.modeLocked = 1;
  const AcqInfo before = MyAcq;
  EXPECT_FALSE(MyDevImgInitWithMode(0, 5, false));
  EXPECT_EQ(std::memcmp(&MyAcq, &before, sizeof before), 0);
  EXPECT_EQ(Vx3ResultGet(), -3);
}

TEST_F(ControlTest, FirmwareThatIsNotServed) {
  MyDev.fwVersion = 0x2209;
  EXPECT_EQ(ResModeBest(), 0);
  EXPECT_EQ(Vx3ResultGet(), -11);
  EXPECT_FALSE(MyDevImgInit(0, true));
  EXPECT_EQ(Vx3ResultGet(), -11);
  EXPECT_EQ(MyAcq.dpiV, 100);
  MyDev.fwVersion = 0;
  EXPECT_FALSE(MyDevImgInit(0, true));
  EXPECT_EQ(Vx3ResultGet(), -1);
  EXPECT_TRUE(traced("err -  invalid HW version"));
  MyDev.fwVersion = 0x3001;
  EXPECT_EQ(ResModeBest(), 3);
}

}  // namespace
