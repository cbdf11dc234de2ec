// Start-up values of the acquisition, MICR, OCR, inkjet, image-quality and debug records. Every
// key is a decimal text converted with strtol, so a value that is not a number counts as 0 and
// then goes through the key's own conversion.
#include "core/defaults.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

#include "core/ini.h"
#include "core/records.h"
#include "core/trace.h"

namespace {

long readNum(const char* section, const char* key, const char* def) {
  char buf[260];
  GetPrivateProfileString(section, key, def, buf, sizeof buf, MyLog.iniPath);
  return std::strtol(buf, nullptr, 10);
}

uint8_t readSwitch(const char* section, const char* key, const char* def) {
  return readNum(section, key, def) > 0 ? 1 : 0;
}

uint16_t low16(long v) { return static_cast<uint16_t>(v); }

long clampTo(long v, long lo, long hi) { return v < lo ? lo : (v > hi ? hi : v); }

long notNegative(long v) { return v < 0 ? 0 : v; }

// Sets a field of both the live and the default acquisition records.
#define PVK_BOTH(field, value) \
  do {                         \
    auto v_ = (value);         \
    MyAcq.field = v_;          \
    AcqDefault.field = v_;     \
  } while (0)

void startValues() {
  MyAcq.colour = 1;
  AcqDefault.colour = 1;
  MyAcq.greyLed = 1;
  AcqDefault.greyLed = 1;
  AcqDefault.colourLines = 1;
  MyAcq.planesPerLine = 1;
  std::memset(AcqDefault.cfgFlags, 1, sizeof AcqDefault.cfgFlags);
  AcqDefault.calibOption = 1;
  std::memset(AcqDefault.calibOptions, 1, sizeof AcqDefault.calibOptions);
  std::memset(AcqDefault.thresholds, 200, sizeof AcqDefault.thresholds);
  PVK_BOTH(msWaitDoc, uint16_t{10000});
  PVK_BOTH(msWaitSwipe, uint16_t{10000});
  PVK_BOTH(acqTimeoutSec, uint16_t{60});
}

void readGeneralAcquisition() {
  AcqDefault.countPages = readSwitch("General", "EnCntPages", "1");
  fw3000Enable = readSwitch("General", "fw3000", "1");
  AcqDefault.swGlitch = readSwitch("General", "SWGlitchDetection", "0");
  if (AcqDefault.swGlitch) WriteTrace("with SW glitch detection", false);
  AcqDefault.swNoise = readSwitch("General", "SWNoiseDetection", "0");
  if (AcqDefault.swNoise) WriteTrace("with SW noise detection", false);
  PVK_BOTH(autoMoveBack, readSwitch("General", "AutoMoveBack", "0"));
  MyDev.cleaningCheckEnabled = readSwitch("Cleaning", "CheckEnable", "1");
  MyDev.cleaningCalibCheck = readSwitch("Cleaning", "CheckCalibration", "1");
  PVK_BOTH(sideAuto, readSwitch("General", "SideAuto", "0"));
  PVK_BOTH(forward, readSwitch("General", "forward", "1"));
  PVK_BOTH(deskew, readSwitch("General", "Deskew", "1"));
  const long trim = readNum("General", "Trim", "1");
  AcqDefault.trim = trim > 0;
  AcqDefault.trimBoth = trim > 1;
  AcqDefault.sharp = readSwitch("General", "Sharp", "0");
  PVK_BOTH(msWaitStart, low16(readNum("General", "msecWaitStart", "0")));
  PVK_BOTH(msValLines, low16(readNum("General", "msecValLines", "1")));
  PVK_BOTH(msBulk, low16(readNum("General", "msecBulk", "300")));
  const long dis = readNum("General", "DisAcqMode", "0");
  PVK_BOTH(disabledModes, static_cast<uint8_t>(dis >= 0 && dis <= 255 ? dis : 0));
  AcqDefault.removeBack = readSwitch("Image", "RemoveBack", "1");
  AcqDefault.twoPart = readSwitch("General", "TwoPart", "0");
  PVK_BOTH(maxHeight150, low16(notNegative(readNum("General", "MaxHeight150", "0"))));
  PVK_BOTH(pageNumEn, static_cast<uint8_t>(low16(readNum("General", "nPageEn", "1")) > 0));
  AcqDefault.borderThr = static_cast<uint8_t>(clampTo(readNum("Image", "BorderThr", "0"), 0, 255));
  AcqDefault.borderVal = static_cast<uint8_t>(clampTo(readNum("Image", "BorderVal", "0"), 0, 255));
  AcqDefault.colour = static_cast<uint8_t>(readNum("Image", "Color", "1"));
}

void readDoubleFeedAndBuzzer() {
  // The value read for DoubleFeed is the default of DoubleFeedDelivery.
  char buf[260];
  GetPrivateProfileString("General", "DoubleFeed", "1", buf, sizeof buf, MyLog.iniPath);
  PVK_BOTH(doubleFeed, static_cast<uint8_t>(std::strtol(buf, nullptr, 10) > 0));
  GetPrivateProfileString("General", "DoubleFeedDelivery", buf, buf, sizeof buf, MyLog.iniPath);
  PVK_BOTH(doubleFeedDelivery, static_cast<uint8_t>(std::strtol(buf, nullptr, 10) > 0));
  const long cnt = readNum("General", "DoubleFeedCntMax", "450");
  PVK_BOTH(doubleFeedCntMax, low16(cnt < 10 ? 10 : cnt));
  PVK_BOTH(doubleFeedBlackVe, low16(readNum("General", "DoubleFeedBlackVe", "-1")));
  MyBuz.valDouble = static_cast<uint8_t>(clampTo(readNum("Buzer", "ValDouble", "200"), 0, 255));
  MyBuz.msDouble = low16(notNegative(readNum("Buzer", "MSecDouble", "1200")));
  MyBuz.valNR = static_cast<uint8_t>(clampTo(readNum("Buzer", "ValNR", "100"), 0, 255));
  MyBuz.msNR = low16(notNegative(readNum("Buzer", "MSecNR", "600")));
  MyBuz.valNoCld = static_cast<uint8_t>(clampTo(readNum("Buzer", "ValNoCld", "50"), 0, 255));
  MyBuz.msNoCld = low16(notNegative(readNum("Buzer", "MSecNoCld", "200")));
  PVK_BOTH(sequenceCheck, readSwitch("General", "SequenceCheck", "1"));
  PVK_BOTH(seqMoveBackLines300,
           low16(notNegative(readNum("General", "SeqCheckMoveBackLines300", "0"))));
}

}  // namespace

bool isOCROperation() { return !MyAcq.paperMove && !MyAcq.paperMove2 && !MyAcq.calibrating; }

unsigned short DefaultHeight150() {
  if (MyAcq.maxHeight150 != 0) return MyAcq.maxHeight150;
  unsigned h = 2048;
  if (MyDev.adfPresent) h = isOCROperation() ? 4352 : 2304;
  if (MyDev.inkjetPresent) h += 512;
  if (MyMICR.enabled) h *= 4;
  return static_cast<unsigned short>(std::min(h, 0xFFFFu));
}

uint64_t initAcqBlock() { return 0xC00000; }

void InitImageAcquisition() {
  std::memset(&MyAcq, 0, sizeof MyAcq);
  std::memset(&AcqDefault, 0, sizeof AcqDefault);
  std::memset(&MyIQA, 0, sizeof MyIQA);
  startValues();
  readGeneralAcquisition();
  readDoubleFeedAndBuzzer();
  PVK_BOTH(height150, DefaultHeight150());
  PVK_BOTH(acqBlock, initAcqBlock());
}

void InitMICRAcquisition() {
  std::memset(&MyMICR, 0, sizeof MyMICR);
  MyMICR.deskew = readSwitch("General", "DeskewMicr", "0");
}

namespace {

// A document type from [Ocr]; traced when the INI overrides the usual value.
uint16_t readTypeDoc(const char* key, const char* def, const char* message) {
  const uint16_t v = low16(readNum("Ocr", key, def));
  if (v != std::atoi(def)) WriteTrace(message, v, false);
  return v;
}

}  // namespace

void InitOCRAcquisition() {
  std::memset(&OcrDefault, 0, sizeof OcrDefault);
  OcrInfo& o = OcrDefault;
  o.checkIdExtended = low16(readNum("Ocr", "CheckIdExtended", "60"));
  if (o.checkIdExtended != 60) {
    char line[80];
    std::snprintf(line, sizeof line, "looking for beneficiary and ammount on 0x%04x",
                  o.checkIdExtended);
    WriteTrace(line, false);
  }
  o.typeDoc = readTypeDoc("typeDoc", "1", "ini forces typeDoc to ");
  o.typeDocCmc7 = readTypeDoc("typeDocCMC7", "1", "ini forces typeDoc for CMC7 to ");
  o.typeDocMicroperf = readTypeDoc("typeDocMICROPERFORATION", "3",
                                   "ini forces typeDoc for MICROPERFORATION to ");
  o.cdlTxt = readSwitch("Ocr", "CdlTxt", "0");
  o.barcodeMirror = readSwitch("Ocr", "BarcodeMirror", "0");
  WriteTrace(o.barcodeMirror ? "Mirrored barcode enabled" : "Mirrored barcode disabled", false);
  o.e13bMapping = low16(readNum("Ocr", "E13BMapping", "0"));
  o.cdlImg = readSwitch("Ocr", "CdlImg", "0");
  o.cdlImgDate = readSwitch("Ocr", "CdlImgDate", "0");
  o.cdlMicr = readSwitch("Ocr", "CdlMICR", "0");
  o.onlyMicr = readSwitch("Ocr", "onlyMICR", "0");
  o.cmc7Thr = static_cast<uint8_t>(clampTo(readNum("Ocr", "CMC7Thr", "80"), 80, 99));
  o.e13bThr = static_cast<uint8_t>(clampTo(readNum("Ocr", "E13BThr", "40"), 40, 99));
  std::memcpy(&MyOcr, &OcrDefault, sizeof MyOcr);
}

void InitOtherSettings() {
  MyInkjet.msWarmTot = low16(readNum("Inkjet2", "msecWarmTot", "0"));
  MyInkjet.msWarmDelta = low16(readNum("Inkjet2", "msecWarmDelta", "0"));
  MyInkjet.grayLev = static_cast<uint8_t>(clampTo(readNum("Inkjet2", "grayLev", "10"), 1, 255));
  MyIQA.active = readSwitch("IQA", "Active", "1");
  MyIQA.errLevel = low16(readNum("IQA", "ErrLev", "1"));
  // Arrays are indexed rear, front, backlight; the keys name front, rear, backlight.
  MyIQA.lower[1] = low16(readNum("IQA", "KB_MinF", "60"));
  MyIQA.lower[0] = low16(readNum("IQA", "KB_MinR", "40"));
  MyIQA.lower[2] = low16(readNum("IQA", "KB_MinB", "40"));
  MyIQA.upper[1] = low16(readNum("IQA", "KB_MaxF", "230"));
  MyIQA.upper[0] = low16(readNum("IQA", "KB_MaxR", "170"));
  MyIQA.upper[2] = low16(readNum("IQA", "KB_MaxB", "170"));
  MyIQA.quality[1] = low16(readNum("IQA", "QualityF", "20"));
  MyIQA.quality[0] = low16(readNum("IQA", "QualityR", "20"));
  MyIQA.quality[2] = low16(readNum("IQA", "QualityB", "20"));
  MyDebug.statusIn = readSwitch("Debug", "statusIn", "0");
  MyDebug.statusOut = readSwitch("Debug", "statusOut", "0");
  MyDebug.glitch = readSwitch("Debug", "glitch", "0");
  if (MyDebug.glitch) WriteTrace("glitch debug", false);
}

namespace pvk::core {

namespace {

// Each unusable value is traced once, not at every read of its key.
bool firstWarning(const std::string& what) {
  static std::set<std::string> warned;
  return warned.insert(what).second;
}

}  // namespace

long iniNumberIn(const char* section, const char* key, long lo, long hi, long fallback) {
  char buf[260];
  GetPrivateProfileString(section, key, "", buf, sizeof buf, MyLog.iniPath);
  const char* start = buf;
  while (*start == ' ' || *start == '\t') ++start;
  if (*start == '\0') return fallback;
  char* end = nullptr;
  const long n = std::strtol(start, &end, 10);
  if (end != start && n >= lo && n <= hi) return n;
  char line[400];
  std::snprintf(line, sizeof line, "[%s] %s=%s: value not usable, default taken", section, key, buf);
  if (firstWarning(line)) WriteTrace("war - ", line, false);
  return fallback;
}

}  // namespace pvk::core

void AcqDefaultToLive() {
  std::memcpy(&MyAcq, &AcqDefault, sizeof MyAcq);
  std::memcpy(&MyOcr, &OcrDefault, sizeof MyOcr);
}
