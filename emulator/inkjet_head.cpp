// The inkjet head of the software scanner: the set-up block, the column words received on bulk
// OUT endpoint 6 and the printed count it reports after a print start.
#include <cstring>
#include <map>

#include "bus.h"
#include "inkjet_head.h"
#include "pvkemu_inkjet.h"

namespace pvk::emulator {
namespace {

struct Head {
  bool hasBlock = false;
  uint8_t block[8] = {};
  size_t bulkAtBlock = 0;  // bulk OUT bytes held when the block came
  long limit = -1;
  uint32_t printed = 0;
};

std::map<int, Head>& heads() {
  static std::map<int, Head> h;
  return h;
}

bool known(int dev) { return dev >= 0 && static_cast<size_t>(dev) < bus().devices.size(); }

}  // namespace

void inkjetSetUp(Device& d, const unsigned char* block) {
  Head& h = heads()[d.id];
  h.hasBlock = true;
  std::memcpy(h.block, block, 8);
  h.bulkAtBlock = d.bulkOut.size();
}

void inkjetStart(Device& d) {
  Head& h = heads()[d.id];
  size_t got = d.bulkOut.size() > h.bulkAtBlock ? d.bulkOut.size() - h.bulkAtBlock : 0;
  if (!h.hasBlock) got = 0;
  if (h.limit >= 0 && got > static_cast<size_t>(h.limit)) got = static_cast<size_t>(h.limit);
  h.printed = static_cast<uint32_t>(got);
}

int inkjetPrintedReply(Device& d, unsigned char* data, uint16_t length) {
  uint8_t r[8] = {0};
  const uint32_t n = heads()[d.id].printed;
  for (int i = 0; i < 4; ++i) r[1 + i] = static_cast<uint8_t>(n >> (8 * i));
  const int k = length < 8 ? length : 8;
  std::memcpy(data, r, static_cast<size_t>(k));
  return k;
}

void inkjetBusReset() { heads().clear(); }

}  // namespace pvk::emulator

using namespace pvk::emulator;

extern "C" {

int pvkemu_inkjet_setup(int dev, uint8_t out8[8]) {
  if (!known(dev)) return -1;
  auto it = heads().find(dev);
  if (it == heads().end() || !it->second.hasBlock) return -1;
  if (out8) std::memcpy(out8, it->second.block, 8);
  return 0;
}

int pvkemu_inkjet_limit(int dev, long bytes) {
  if (!known(dev)) return -1;
  heads()[dev].limit = bytes;
  return 0;
}

long pvkemu_inkjet_printed(int dev) {
  if (!known(dev)) return -1;
  return static_cast<long>(heads()[dev].printed);
}

}  // extern "C"
