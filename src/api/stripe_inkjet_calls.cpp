// Exported calls of the magnetic stripe reader and the inkjet endorser.
#include <cstring>

#include "api/exported.h"
#include "core/frame.h"
#include "core/results.h"
#include "device/inkjet.h"
#include "device/mag_stripe.h"

using pvk::api::withHandle;

namespace {

// A track text goes out whole with its terminator, or not at all when the buffer is too small.
void copyTrack(char* out, const char* text, int size) {
  if (!out) {
    Vx3ResultSet(PVK_ERR_GENERIC);
    return;
  }
  const size_t len = strnlen(text, kTrackBytes - 1);
  if (size >= 1 && len < static_cast<size_t>(size)) std::memcpy(out, text, len + 1);
}

}  // namespace

extern "C" int PVKMagStripeC(void* handle, char* track1, char* track2, char* track3, int flags, int size) {
  return pvk::api::guarded("PVKMagStripe", [&] {
    if (!DllFunctInit("PVKMagStripe", handle)) {
      RMSVERIFICARESULT();
      return Vx3ResultGet();
    }
    Vx3ResultSet(Vx3MagStripe(static_cast<unsigned char>(flags)));
    copyTrack(track1, Track1, size);
    copyTrack(track2, Track2, size);
    copyTrack(track3, Track3, size);
    RMSVERIFICARESULT();
    return Vx3ResultGet();
  });
}

extern "C" int PVKMagStripeReset(void* handle) {
  return withHandle("PVKMagStripeReset", handle, [] { return Vx3MagStripeReset(); });
}

// Every set-up call runs under the one guard name of the endorser.
extern "C" int PVKInkjet1SetUp(void* handle, const char* text, const char* font, short size, short intensity,
                               short offset, short keepImage) {
  return withHandle("PVKInkjet1SetUp", handle,
                    [&] { return Inkjet1SetUp(text, font, size, intensity, offset, keepImage, 1, 0); });
}

extern "C" int PVKInkjet1SetUp1(void* handle, const char* text, const char* font, short size, short intensity,
                                short offset, short keepImage, short fireCount) {
  return withHandle("PVKInkjet1SetUp", handle,
                    [&] { return Inkjet1SetUp(text, font, size, intensity, offset, keepImage, fireCount, 0); });
}

extern "C" int PVKInkjet1SetUp2(void* handle, const char* text, const char* font, short size, short intensity,
                                short offset, short keepImage, short fireCount, short rotate180) {
  return withHandle("PVKInkjet1SetUp", handle, [&] {
    return Inkjet1SetUp(text, font, size, intensity, offset, keepImage, fireCount, rotate180);
  });
}

extern "C" int PVKInkjet1SetUpImg(void* handle, const char* bmpPath, short intensity, short offset,
                                  short keepImage, short fireCount, short rotate180) {
  return withHandle("PVKInkjet1SetUp", handle, [&] {
    return Inkjet1SetUp(bmpPath, nullptr, 0, intensity, offset, keepImage, fireCount, rotate180);
  });
}
