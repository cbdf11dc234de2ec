// Replay of magnetic captures: a dump the library wrote (the raw head bytes, one decimal a
// line, or the down-sampled signal of "micr.txt") and a sidecar that says how it was taken are
// loaded back into the MICR state, so that a reading of the capture can be repeated.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pvk::magreplay {

enum class DumpKind { Raw, MicrTxt };

// How a capture was taken, and what its codeline holds. The sidecar is a text of key=value
// lines (unknown keys and '#' comments are ignored):
//   dump=raw|micrtxt  planes=1  ratio=10  reverse=0  offset=0  ref=200  font=33
//   from=0  to=7000  expect=<codeline>  guide=<text>  guideAt=<start>-<end> ...
// planes, ratio, reverse and ref are those of the scanner; offset the optical-magnetic offset
// of the scan; from and to the stretch of the signal the codeline lies in; the guide is the
// optical line in sample positions, one start-end pair per guide character.
struct Fixture {
  std::string name;
  DumpKind kind = DumpKind::Raw;
  std::vector<uint8_t> bytes;  // the sample buffer as the scanner filled it
  int planes = 1;
  int ratio = 10;
  bool reverse = false;
  int offset = 0;
  int ref = 200;
  int font = 33;
  int from = 0;
  int to = 0;
  std::string expect;
  std::string guide;
  std::vector<int> guideStart, guideEnd;
};

// The values of a dump, one decimal a line; false when a line holds anything else or a value
// lies outside 0..255.
bool readValues(const std::string& path, std::vector<int>& values);

// Raw dump: the bytes as they were. "micr.txt": each down-sampled value three times, so that
// with planes 1 the loop's down-sampling gives the same values back (the signal is already
// mirrored, so the reverse flag is cleared).
bool loadDump(const std::string& path, DumpKind kind, Fixture& f);

// A sidecar and the dump it names (a path relative to the sidecar's folder: key file=...);
// false, with why, when either cannot be read.
bool loadFixture(const std::string& sidecarPath, Fixture& f, std::string& why);

// Every "*.cap" sidecar of a folder, sorted by name.
std::vector<std::string> fixturesIn(const std::string& folder);

// Puts the capture into MyMICR, MyAcq and MyOcr (head enabled, the fixture's font); the bytes
// stay owned by the fixture, which must outlive the reading.
void install(Fixture& f);

}  // namespace pvk::magreplay
