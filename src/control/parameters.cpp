// The parameter table: one id per option, stored in the process-wide records. Refusals follow
// the table: most store nothing, a few store a field and still report -3.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "control/control.h"
#include "core/defaults.h"
#include "core/ini.h"
#include "core/results.h"
#include "core/trace.h"

namespace {

int result(int code) {
  Vx3ResultSet(code);
  return code;
}

// Ids 1, 4 and 1001: 0 and 1 set the flag; any other value switches it on and is refused.
int setSwitch(uint8_t& flag, short value, const char* trace) {
  if (value == 0 || value == 1) {
    flag = static_cast<uint8_t>(value);
    return result(0);
  }
  flag = 1;
  WriteTrace(trace, value, false);
  return result(-3);
}

// Document types 0 and 1 reset the height and let the INI force the type.
int setDocTypeDefault(short value) {
  MyAcq.height150 = DefaultHeight150();
  MyOcr.typeDoc = MyOcr.typeDocSaved = static_cast<uint16_t>(value);
  MyOcr.barcodeMirror = OcrDefault.barcodeMirror;
  char def[16], buf[260];
  std::snprintf(def, sizeof def, "%d", value);
  GetPrivateProfileString("Ocr", "typeDoc", def, buf, sizeof buf, MyLog.iniPath);
  const long n = std::strtol(buf, nullptr, 10);
  MyOcr.typeDoc = MyOcr.typeDocSaved = static_cast<uint16_t>(n);
  if (n != 1) WriteTrace("ini forces typeDoc to ", static_cast<int>(n), false);
  return result(0);
}

int setAcqMode(short value, const AcqInfo& entry) {
  const unsigned v = static_cast<unsigned short>(value);
  if (!MyDev.FwCapA) return result(v == 0 || v == 8 ? 0 : -3);
  Vx3ResultSet(0);
  if (v > 8) return result(-3);
  if (v == 8) {
    MyAcq.modeLocked = 0;
    return result(0);
  }
  MyAcq.modeLocked = 1;
  if (!MyDevImgInitWithMode(0, static_cast<unsigned char>(v), false)) {
    MyAcq = entry;
    return result(-3);
  }
  return Vx3ResultGet();
}

uint16_t sideIndex(uint16_t side) { return side < kSides ? side : 1; }

}  // namespace

int Vx3ParamSet(unsigned short id, short value, bool quiet) {
  const AcqInfo entry = MyAcq;
  switch (id) {
    case VX3_PAR_COLOR:
      return result(SetColor(static_cast<unsigned char>(value & 0xFF), quiet) ? 0 : -3);
    case VX3_PAR_AUTOROTATE:
      return setSwitch(MyAcq.deskew, value, "VX3_PAR_AUTOROTATE - PVK_ERR_INV_PARAMETER for ParVal");
    case VX3_PAR_TRIM:
      MyAcq.trim = value > 0;
      MyAcq.trimBoth = value > 1;
      return result(0);
    case VX3_PAR_DOC_TYPE:
      WriteTrace("VX3_PAR_DOC_TYPE", value, false);
      if (value == 0 || value == 1) return setDocTypeDefault(value);
      if (value >= 3 && value <= 13) {
        MyOcr.typeDoc = MyOcr.typeDocSaved = static_cast<uint16_t>(value);
        return result(0);
      }
      return result(-3);
    case VX3_PAR_ENHANCE_IMG:
      return setSwitch(MyAcq.sharp, value, "VX3_PAR_ENHANCE_IMG - PVK_ERR_INV_PARAMETER for ParVal");
    case VX3_PAR_THRESHOLD:
    case VX3_PAR_THRESHOLD2:
      if (static_cast<unsigned short>(value) > 255) return result(-3);
      MyAcq.thresholds[id == VX3_PAR_THRESHOLD ? 1 : 0] = static_cast<uint8_t>(value);
      return result(0);
    case VX3_PAR_MAX_HEIGHT_150DPI: {
      const unsigned short max = MaxHeight150();
      if (value == 0) {
        MyAcq.height150 = max;
      } else if (value > 0 && value <= max) {
        MyAcq.height150 = static_cast<uint16_t>(value);
      } else {
        MyAcq.height150 = max;
        WriteTrace("VX3_PAR_MAX_HEIGHT_150DPI - Invalid max height value", value, false);
        return result(-3);
      }
      return result(0);
    }
    case VX3_PAR_BARCODE_TYPE:
      if (Vx3BarcodeTypeEnable(value, true)) return result(0);
      WriteTrace("VX3_PAR_BARCODE_TYPE - PVK_ERR_INV_PARAMETER for ParVal", value, false);
      return result(-3);
    case PAR_E13B_MAPPING:
      if (static_cast<unsigned short>(value) <= 3) {
        MyOcr.e13bMapping = static_cast<uint16_t>(value);
        return result(0);
      }
      MyOcr.e13bMapping = 0;
      WriteTrace("err - ", "SetParameter - Invalid PAR_E13B_MAPPING - setting default", value, false);
      return result(-3);
    case VX3_PAR_BACKLIGHT:
      if (value == 0) {
        MyAcq.backlight = 0;
        MyDev.img[2].hasData = 0;
        return result(0);
      }
      if (value == 1) {
        if (!MyDev.backlightHw) {
          WriteTrace("err - ", "Backlight request not supported by HW", false);
          return result(-15);
        }
        MyAcq.backlight = 1;
        MyDev.img[2].hasData = 1;
        return result(0);
      }
      WriteTrace("err - ", "SetParameter - Backlight - invalid parameter", value, false);
      return result(-3);
    case VX3_PAR_IQA:
      if (value < 0) {
        MyIQA.active = 0;
      } else {
        MyIQA.active = 1;
        MyIQA.errLevel = static_cast<uint16_t>(value);
      }
      return result(0);
    case VX3_PAR_MSEC_WAIT_DOC:
      MyAcq.msWaitDoc = static_cast<uint16_t>(std::max<short>(value, 0));
      MyAcq.cfgFlags[kCfgWaitDoc] = MyAcq.cfgFlags[kCfgWaitDoc2] = value != 0;
      return result(0);
    case VX3_PAR_MSEC_WAIT_BADGE:
      MyAcq.msWaitSwipe = static_cast<uint16_t>(std::max<short>(value, 0));
      return result(0);
    case MSEC_WAIT_START:
      if (value >= 0) {
        MyAcq.msWaitStart = AcqDefault.msWaitStart = static_cast<uint16_t>(value);
        return result(0);
      }
      MyAcq.msWaitStart = AcqDefault.msWaitStart;
      WriteTrace("err - ", "SetParameter - Invalid MSEC_WAIT_START - setting default", value, false);
      return result(-3);
    case VX3_PAR_ACQ_TIMEOUT:
      MyAcq.acqTimeoutSec = AcqDefault.acqTimeoutSec = static_cast<uint16_t>(value > 0 ? value : 60);
      MyAcq.acqTimeoutMs = 0;
      return result(0);
    case VX3_PAR_SLOW_ACQ:
      MyDev.slowAcq = value > 0;
      return result(0);
    case VX3_PAR_DOUBLE_FEED:
      if (value > 0 && MyDev.doubleFeedHw) {
        MyAcq.doubleFeed = 1;
        MyAcq.doubleFeedDelivery = AcqDefault.doubleFeedDelivery;
      } else {
        MyAcq.doubleFeed = MyAcq.doubleFeedDelivery = 0;
      }
      return result(0);
    case VX3_PAR_SEQUENCE_CHECK:
      MyAcq.sequenceCheck = value > 0;
      return result(0);
    case VX3_PAR_DOUBLE_FEED_B:
      if (value <= 0) MyAcq.doubleFeedBlackVe = 0;
      else if (MyDev.fwVersion < AcqDefault.doubleFeedBlackVe) MyAcq.doubleFeedBlackVe = 0x9999;
      return result(0);
    case VX3_PAR_DPI_FRONT:
      MyDev.outDpi[sideIndex(MyAcq.autoFrontSide)] = std::max<short>(value, 0);
      return result(0);
    case VX3_PAR_DPI_REAR:
      MyDev.outDpi[sideIndex(MyAcq.autoRearSide)] = std::max<short>(value, 0);
      return result(0);
    case VX3_PAR_DPI_BACKLIGHT:
      MyDev.outDpi[2] = std::max<short>(value, 0);
      return result(0);
    case VX3_PAR_ACQ_MODE:
      return setAcqMode(value, entry);
    case VX3_PAR_CORRECT:
      return setSwitch(MyAcq.calibOption, value, "VX3_PAR_CORRECT - PVK_ERR_INV_PARAMETER for ParVal");
    default:
      if (!quiet) WriteTrace("PVK_ERR_INV_PARAMETER setting ParId", id, false);
      return result(-3);
  }
}

int Vx3ParamGet(unsigned short id, short* value) {
  if (value == nullptr) return -3;
  short v;
  switch (id) {
    case VX3_PAR_COLOR: v = MyAcq.colour; break;
    case VX3_PAR_AUTOROTATE: v = MyAcq.deskew; break;
    case VX3_PAR_TRIM: v = MyAcq.trim ? (MyAcq.trimBoth ? 2 : 1) : 0; break;
    case VX3_PAR_DOC_TYPE: v = static_cast<short>(MyOcr.typeDoc); break;
    case VX3_PAR_ENHANCE_IMG: v = MyAcq.sharp; break;
    case VX3_PAR_THRESHOLD: v = MyAcq.thresholds[1]; break;
    case VX3_PAR_THRESHOLD2: v = MyAcq.thresholds[0]; break;
    case VX3_PAR_MAX_HEIGHT_150DPI: v = static_cast<short>(MyAcq.height150); break;
    case VX3_PAR_BARCODE_TYPE:
      v = WhichIsFirstBarcodeRead();
      Vx3ResultSet(0);
      break;
    case PAR_E13B_MAPPING: v = static_cast<short>(MyOcr.e13bMapping); break;
    case VX3_PAR_BACKLIGHT: v = MyAcq.backlight; break;
    case VX3_PAR_ONLY_MICR: v = MyOcr.onlyMicr; break;
    case VX3_PAR_IQA: v = MyIQA.active ? 1 : 0; break;
    case VX3_PAR_MSEC_WAIT_DOC: v = static_cast<short>(MyAcq.msWaitDoc); break;
    case VX3_PAR_MSEC_WAIT_BADGE: v = static_cast<short>(MyAcq.msWaitSwipe); break;
    case MSEC_WAIT_START: v = static_cast<short>(MyAcq.msWaitStart); break;
    case VX3_PAR_ACQ_TIMEOUT: v = static_cast<short>(AcqDefault.acqTimeoutSec); break;
    case VX3_PAR_DOUBLE_FEED: v = MyAcq.doubleFeed; break;
    case VX3_PAR_SEQUENCE_CHECK: v = MyAcq.sequenceCheck; break;
    case VX3_PAR_DOUBLE_FEED_B: v = static_cast<short>(MyAcq.doubleFeedBlackVe); break;
    case VX3_PAR_DPI_FRONT: v = MyDev.outDpi[sideIndex(MyAcq.autoFrontSide)]; break;
    case VX3_PAR_DPI_REAR: v = MyDev.outDpi[sideIndex(MyAcq.autoRearSide)]; break;
    case VX3_PAR_DPI_BACKLIGHT: v = MyDev.outDpi[2]; break;
    case VX3_PAR_SLOW_ACQ:
    case VX3_PAR_ACQ_MODE:
    case VX3_PAR_CORRECT:
      return -3;
    default:
      WriteTrace("PVK_ERR_INV_PARAMETER getting ParId", id, false);
      return -3;
  }
  *value = v;
  return 0;
}
