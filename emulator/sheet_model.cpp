// The sheet model: a sheet that arrives after some status reads and leaves after some
// acquisition starts; the firmware model asks it for the status bits and reports the starts.
#include <map>

#include "bus.h"
#include "pvkemu_sheet.h"
#include "sheet_model.h"

namespace pvk::emulator {
namespace {

struct Sheet {
  int polls = 0;       // status reads before the sheet shows
  int moves = -1;      // acquisition starts before it leaves; negative: never
  uint32_t bit = 0;
  int pollsSeen = 0;
  int movesSeen = 0;
  bool gone = false;
};

std::map<int, Sheet>& sheets() {
  static std::map<int, Sheet> s;
  return s;
}

bool known(int dev) { return dev >= 0 && static_cast<size_t>(dev) < bus().devices.size(); }

}  // namespace

uint32_t sheetStatus(Device& d) {
  auto it = sheets().find(d.id);
  if (it == sheets().end()) return 0;
  Sheet& s = it->second;
  const bool shows = !s.gone && s.pollsSeen >= s.polls;
  ++s.pollsSeen;
  return shows ? s.bit : 0;
}

bool sheetIn(const Device& d) {
  auto it = sheets().find(d.id);
  if (it == sheets().end()) return false;
  const Sheet& s = it->second;
  return !s.gone && s.pollsSeen >= s.polls;
}

void sheetMoved(Device& d) {
  auto it = sheets().find(d.id);
  if (it == sheets().end()) return;
  Sheet& s = it->second;
  ++s.movesSeen;
  if (s.moves >= 0 && s.movesSeen >= s.moves) s.gone = true;
}

void sheetFed(Device& d) {
  auto it = sheets().find(d.id);
  if (it != sheets().end() && !it->second.gone) return;  // a sheet the caller set stays
  Sheet s;
  s.moves = 1;
  s.bit = PVKEMU_SHEET_ENTRY;
  sheets()[d.id] = s;
}

void sheetReset() { sheets().clear(); }

}  // namespace pvk::emulator

using namespace pvk::emulator;

extern "C" int pvkemu_sheet(int dev, int polls, int moves, uint32_t bit) {
  if (!known(dev)) return -1;
  Sheet s;
  s.polls = polls < 0 ? 0 : polls;
  s.moves = moves;
  s.bit = bit;
  s.gone = moves == 0;
  sheets()[dev] = s;
  return 0;
}

extern "C" int pvkemu_sheet_remove(int dev) {
  if (!known(dev)) return -1;
  sheets()[dev].gone = true;
  return 0;
}

extern "C" int pvkemu_sheet_moves(int dev) {
  if (!known(dev)) return -1;
  auto it = sheets().find(dev);
  return it == sheets().end() ? 0 : it->second.movesSeen;
}

extern "C" int pvkemu_sheet_polls(int dev) {
  if (!known(dev)) return -1;
  auto it = sheets().find(dev);
  return it == sheets().end() ? 0 : it->second.pollsSeen;
}
