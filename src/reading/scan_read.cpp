// The scan-and-read driver: checks the request, prepares the sides, feeds one document, reads
// its zones and moves the paper, polling the host's stop request between the steps.
#include <cstring>

#include "control/control.h"
#include "core/trace.h"
#include "document/document.h"
#include "reading/reading.h"

namespace {

bool readTrace() { return (MyLog.Debug & 0x2) != 0; }
bool anyDebug() { return MyLog.Debug != 0; }

// The characters of the joined output: every zone's count plus its separator, less one.
int joinedCount(const PVKOCRDoc& doc) {
  int n = 0;
  for (int i = 0; i < doc.nZones && i < PVK_OCR_MAX_ZONES; ++i) n += doc.zones[i].charsRead + 1;
  return n - 1;
}

// True when at least one zone was to be read (not skipped with font -1) and no zone gave a
// character.
bool zonesReadNothing(const PVKOCRDoc& doc) {
  bool read = false;
  for (int i = 0; i < doc.nZones && i < PVK_OCR_MAX_ZONES; ++i) {
    if (doc.zones[i].charsRead > 0) return false;
    read = read || doc.zones[i].font != -1;
  }
  return read;
}

// Steps 1 to 12 of a read; the result to keep.
int readSteps(PVKOCRDoc* doc, char* text, char* conf, short size) {
  if (MyOcr.typeDoc != MyOcr.typeDocSaved) {
    WriteTrace("restoring original typedoc", MyOcr.typeDocSaved, false);
    MyOcr.typeDoc = MyOcr.typeDocSaved;
  }
  AggiornaFirstBarcodeRead(VX3_BARCODE_NONE);
  if (pvk::core::stopRequested()) return PVK_ERR_ABORTED;
  MyMICR.enabled = 0;
  MyMICR.cdlFound = 0;
  if (!Vx3Read_CheckParameter(doc, text, conf)) return MyDev.lastResult;
  SetFrontOff(MyAcq.frontOff != 0);
  SetRearOff(MyAcq.rearOff != 0);
  if (pvk::core::stopRequested()) return PVK_ERR_ABORTED;
  if (!MyAcq.twoPartActive && MyAcq.imagesToRecreate) {
    WriteTrace("war - ", "patch - image free and create should be called before calling this again", false);
    pvk::document::recreateSideImages();
  }
  if (!Vx3Read_AcquireImg()) return MyDev.lastResult;
  int result = PVK_OK;
  if (doc != nullptr && doc->nZones > 0) {
    result = Vx3ReadDoc(doc, text, conf, size);
    if (result != PVK_OK) return result;
    MyOcrFree(1, true);
    MyOcrFree(0, true);
    MyOcrFree(2, true);
  }
  if (pvk::core::stopRequested()) {
    if (anyDebug()) WriteTrace("stop (B)", false);
    return PVK_ERR_ABORTED;
  }
  if (!MyAcq.twoPartActive)
    MyAcq.twoPartClear = 0;
  else if (anyDebug())
    WriteTrace("twoPartAcq", false);
  return result < 1 ? PVK_OK : result;
}

void clearIfEmpty(char* buf, short size) {
  if (buf != nullptr && size > 0 && buf[0] == '\0') std::memset(buf, 0, static_cast<size_t>(size));
}

}  // namespace

int Vx3Read(PVKOCRDoc* doc, char* text, char* conf, short size) {
  // A negative count reads as a request without zones: the document is still fed.
  PVKOCRDoc* zones = doc;
  PVKOCRDoc empty{};
  if (doc != nullptr && doc->nZones < 0) {
    empty = *doc;
    empty.nZones = 0;
    zones = &empty;
  }
  const int result = readSteps(zones, text, conf, size);
  MyMICR.enabled = 0;
  if (zones != nullptr && zones->nZones > 0) {
    clearIfEmpty(text, size);
    clearIfEmpty(conf, size);
  }
  MuoviSeGiaInseritoProssimo();
  MyDev.lastResult = result;
  if (doc == nullptr) return 0;
  const int n = doc->nZones < 0 ? -1 : doc->nZones == 0 ? 0 : joinedCount(*doc);
  if (anyDebug()) WriteTrace("nChar returned", n, false);
  return n;
}

int Vx3ReadDoc(PVKOCRDoc* doc, char* text, char* conf, short size) {
  if (readTrace()) WriteTrace("Vx3ReadDoc start", false);
  if (doc == nullptr || doc->nZones <= 0) {
    MyDev.lastResult = PVK_OK;
    WriteTrace("nothing to do (A); it returns", 0, false);
    return PVK_OK;
  }
  if (text == nullptr || size < 1) {
    MyDev.lastResult = PVK_OK;
    WriteTrace("nothing to do (B); it returns", false);
    return PVK_OK;
  }
  std::memset(text, 0, static_cast<size_t>(size));
  if (conf != nullptr) std::memset(conf, 0, static_cast<size_t>(size));
  // Zones were read and not one character came out of them: the read failed, whatever warning
  // it left (a blank page, a page of noise, every zone beside the paper). A reading cut to
  // nothing by a short buffer is no such failure: its warning stands.
  if (Vx3ReadChar(doc, text, conf, static_cast<unsigned short>(size)) && zonesReadNothing(*doc) &&
      MyDev.lastResult >= 0 && MyDev.lastResult != PVK_WAR_OCR_TRUNCATED)
    MyDev.lastResult = PVK_ERR_OCR;
  if (readTrace()) WriteTrace("Vx3ReadDoc returs", MyDev.lastResult, false);
  return MyDev.lastResult;
}
