// The image calls behind the exported image functions: output resolution per side, side
// resolution, saving a side to a file, the two-call get with its cache slots, and the front
// and rear stacked into one picture.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/image_utils.h"
#include "core/ini.h"
#include "image/image.h"
#include "image/image_calls.h"
#include "image/image_seams.h"

using namespace pvk::image;

short Vx3GetDpiOut(short side)
{
  return (side >= 0 && side <= 2) ? MyDev.outDpi[side] : 100;
}

short Vx3GetSideAuto(short side)
{
  if (side == 1)
    return static_cast<short>(MyAcq.autoFrontSide);
  if (side == 0)
    return static_cast<short>(MyAcq.autoRearSide);
  return side == 2 ? 2 : 0;
}

namespace pvk::image {

bool autoSideMode() { return MyOcr.autoSideResolved || MyAcq.sideAuto || MyMICR.cdlFound; }

int saveImage(short side, short plane, short brightness, short contrast, const PVKRoi* roi,
              short quality, short format, short rotation, short dpi, short bpp, const char* path)
{
  if (side != 0 && side != 1 && side != 2 && side != 8 && side != 9) {
    traceError("ImgSave with invalid side", side);
    return setResult(-3);
  }
  short resolved = (side == 8 || side == 9) ? Vx3GetSideAuto(side == 9 ? 1 : 0) : side;
  if (dpi == 0)
    dpi = Vx3GetDpiOut(side == 9 ? 1 : side == 8 ? 0 : side);
  if (bpp == 24 && MyAcq.colourLines < 3) {
    traceError("ImgSave - invalid rgb image request");
    return setResult(-3);
  }
  if (!path) {
    traceError("SaveImgStruct with null pointer");
    return setResult(-3);
  }
  int size = 0;
  uint8_t* data = Vx3ElabImgStructGet(resolved, plane, brightness, contrast, roi, quality, format,
                                      rotation, dpi, bpp, &size);
  if (!data) {
    if (MyDev.lastResult >= 0) {
      traceError("No image present");
      setResult(-3);
    }
    return MyDev.lastResult;
  }
  // The path goes straight to the file system: no fixed buffer to overflow.
  FileWrite written = writeFile(path, data, static_cast<size_t>(size));
  std::free(data);
  if (written == FileWrite::NotOpened) {
    traceError("SaveImgStruct with invalid file name or path", path);
    traceError("error", static_cast<long>(errno));
    return setResult(-5);
  }
  if (written == FileWrite::NotWritten) {
    traceError("SaveImgStruct with invalid nBytes written", static_cast<long>(errno));
    return setResult(-5);
  }
  return setResult(0);
}

namespace {

struct Slot {
  uint8_t* data = nullptr;
  int size = 0;
};
Slot dataF0, dataR0, dataBack0;

Slot& slotOf(short side) { return side == 2 ? dataBack0 : side == 1 ? dataF0 : dataR0; }

const char* emptySlotText(short side)
{
  return side == 2 ? "B not available side" : side == 1 ? "F not available side" : "R not available side";
}

}  // namespace

int twoCallGet(short side, short plane, short brightness, short contrast, const PVKRoi* roi,
               short quality, short format, short rotation, short dpi, short bpp,
               unsigned char* buffer)
{
  Slot& slot = slotOf(side);
  if (!buffer) {
    // A first call over a slot still full replaces it: release the old picture.
    std::free(slot.data);
    slot = Slot{};
    int size = 0;
    slot.data = Vx3ElabImgStructGet(side, plane, brightness, contrast, roi, quality, format,
                                    rotation, dpi, bpp, &size);
    slot.size = slot.data ? size : 0;
    return slot.size;
  }
  if (!slot.data) {
    traceError(emptySlotText(side));
    setResult(-1);
    return -1;
  }
  std::memcpy(buffer, slot.data, static_cast<size_t>(slot.size));
  int size = slot.size;
  std::free(slot.data);
  slot = Slot{};
  return size;
}

void releaseTwoCallSlots()
{
  for (Slot* s : {&dataF0, &dataR0, &dataBack0}) {
    std::free(s->data);
    *s = Slot{};
  }
}

}  // namespace pvk::image
