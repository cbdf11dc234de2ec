// Raw stripe tracks as the device hands them over: any characters of any count the reader
// accepts decode or fail with a stripe code, and never leave a text without its terminator.
#include <cstdlib>
#include <cstring>

#include "device/mag_stripe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > kTrackBytes) return 0;
  // The first byte chooses the track, the rest are its raw characters.
  const int t = data[0] % 3;
  char* buffer = t == 0 ? Track1 : t == 1 ? Track2 : Track3;
  std::memset(buffer, 0, kTrackBytes);
  std::memcpy(buffer, data + 1, size - 1);
  nByteT[t] = size - 1;
  const int r = ElaboraTraccia(t);
  if (r > 0 || (r < 0 && (r < -75 || r > -70))) std::abort();
  if (buffer[kTrackBytes - 1] != 0) std::abort();
  return 0;
}
