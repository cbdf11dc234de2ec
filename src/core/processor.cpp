// What the processor this code runs on can do beyond the baseline instructions.
#include "core/image_utils.h"

namespace pvk::core {

#if defined(__x86_64__) && defined(__GNUC__)

namespace {

struct Features {
  bool shuffles, eightLanes, permutes, bitCounts;
};

// Asked of the processor once; the answers stay for the life of the process.
const Features& features()
{
  static const Features f = [] {
    __builtin_cpu_init();
    return Features{__builtin_cpu_supports("ssse3") != 0, __builtin_cpu_supports("avx2") != 0,
                    __builtin_cpu_supports("avx512vbmi") != 0 && __builtin_cpu_supports("avx512bw") != 0,
                    __builtin_cpu_supports("popcnt") != 0};
  }();
  return f;
}

}  // namespace

bool processorHas(Cpu feature)
{
  switch (feature) {
  case Cpu::ByteShuffles: return features().shuffles;
  case Cpu::EightLanes: return features().eightLanes;
  case Cpu::BytePermutes: return features().permutes;
  case Cpu::BitCounts: return features().bitCounts;
  }
  return false;
}

#else

bool processorHas(Cpu) { return false; }

#endif

}  // namespace pvk::core
