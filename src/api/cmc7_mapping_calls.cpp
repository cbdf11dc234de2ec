// Exported call of the CMC7 symbol output mapping.
#include "api/exported.h"
#include "micr/micr.h"

extern "C" int PVKCMC7Mapping(unsigned char s1, unsigned char s2, unsigned char s3, unsigned char s4,
                              unsigned char s5, unsigned char nr) {
  return pvk::api::guarded("PVKCMC7Mapping", [&] {
    void* h = pvk::core::noDeviceHandle();
    if (!DllFunctInit("PVKCMC7Mapping", h)) {
      RMSVERIFICARESULT();
      return static_cast<int>(MyDev.lastResult);
    }
    const int r = pvk::micr::setCMC7Mapping(s1, s2, s3, s4, s5, nr);
    RMSVERIFICARESULT();
    return r;
  });
}
