// INI files as they enter: any bytes as the file, then reads of a few keys and a write in a
// temporary directory (the checks live in ini_round_trip.h, which a test replays on the
// committed inputs).
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "core/records.h"
#include "ini_round_trip.h"

namespace {

constexpr size_t kMaxInput = 1 << 16;

char dir[] = "/tmp/pvk_fuzz_ini_XXXXXX";
std::string iniPath;

void removeDir() {
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

void setUp() {
  static bool done = false;
  if (done) return;
  done = true;
  if (::mkdtemp(dir) == nullptr) std::abort();
  iniPath = std::string(dir) + "/f.ini";
  std::atexit(removeDir);
  std::memset(&MyLog, 0, sizeof MyLog);  // no trace file
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUp();
  if (size > kMaxInput) return 0;
  if (pvk::fuzz::iniRoundTrip(data, size, dir, iniPath) != nullptr) __builtin_trap();
  return 0;
}
