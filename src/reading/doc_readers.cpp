// The readers that the document set-up, the cross-check and the microperforation modes call,
// behind one seam: the one-zone reader on the OCR image of a side, and the OCR image builder.
// The library's own readers are the defaults; tests put scripted ones in their place.
#include "reading/reading.h"

namespace {

bool createImage(unsigned short side, PVKOCRDoc* doc, unsigned char threshold) {
  return Vx3CreateOCRImage(side, doc, threshold);
}

bool readOneZone(PVKImg* image, PVKOCRZone* zone, short rotation, unsigned short maxChars, char* text, char* conf,
                 ChInfo* info, unsigned short side, void* reserved) {
  return Vx3Read1Zone(image, zone, rotation, maxChars, text, conf, info, side, reserved);
}

}  // namespace

namespace pvk::reading {

ZoneReaders zoneReaders{readOneZone, createImage};

bool readZone(uint16_t side, PVKOCRZone& zone, unsigned short maxChars, char* text, char* conf, ChInfo* info,
              short rotation) {
  zone.charsRead = 0;
  if (!zoneReaders.readZone || side >= kSides) return false;
  return zoneReaders.readZone(&MyOcr.ocrImg[side], &zone, rotation, maxChars, text, conf, info, side, nullptr);
}

bool buildImage(uint16_t side, PVKOCRDoc* doc) {
  if (!zoneReaders.createImage || side >= kSides) return false;
  return zoneReaders.createImage(side, doc, 0);
}

}  // namespace pvk::reading
