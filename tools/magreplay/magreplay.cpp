// Loading of magnetic captures and their sidecars into the MICR state.
#include "magreplay.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>

#include "core/records.h"

namespace pvk::magreplay {

bool readValues(const std::string& path, std::vector<int>& values) {
  std::ifstream in(path);
  if (!in) return false;
  values.clear();
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    char* endp = nullptr;
    const long v = std::strtol(line.c_str(), &endp, 10);
    if (endp == line.c_str() || *endp != 0 || v < 0 || v > 255) return false;
    values.push_back(static_cast<int>(v));
  }
  return true;
}

bool loadDump(const std::string& path, DumpKind kind, Fixture& f) {
  std::vector<int> v;
  if (!readValues(path, v)) return false;
  f.kind = kind;
  f.bytes.clear();
  if (kind == DumpKind::Raw) {
    f.bytes.assign(v.begin(), v.end());
    return true;
  }
  f.bytes.reserve(v.size() * 3);
  for (int x : v) f.bytes.insert(f.bytes.end(), 3, static_cast<uint8_t>(x));
  f.planes = 1;
  f.reverse = false;
  return true;
}

namespace {

bool parseGuide(const std::string& text, Fixture& f) {
  std::istringstream in(text);
  std::string pair;
  while (in >> pair) {
    const size_t dash = pair.find('-', 1);
    if (dash == std::string::npos) return false;
    f.guideStart.push_back(std::atoi(pair.substr(0, dash).c_str()));
    f.guideEnd.push_back(std::atoi(pair.substr(dash + 1).c_str()));
  }
  return f.guideStart.size() == f.guide.size();
}

}  // namespace

bool loadFixture(const std::string& sidecarPath, Fixture& f, std::string& why) {
  std::ifstream in(sidecarPath);
  if (!in) {
    why = "cannot open " + sidecarPath;
    return false;
  }
  f = Fixture{};
  const size_t slash = sidecarPath.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : sidecarPath.substr(0, slash);
  f.name = sidecarPath.substr(slash == std::string::npos ? 0 : slash + 1);
  std::string line, file, dump = "raw", guideAt;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    const int n = std::atoi(value.c_str());
    if (key == "file") file = value;
    else if (key == "dump") dump = value;
    else if (key == "planes") f.planes = n;
    else if (key == "ratio") f.ratio = n;
    else if (key == "reverse") f.reverse = n != 0;
    else if (key == "offset") f.offset = n;
    else if (key == "ref") f.ref = n;
    else if (key == "font") f.font = n;
    else if (key == "from") f.from = n;
    else if (key == "to") f.to = n;
    else if (key == "expect") f.expect = value;
    else if (key == "guide") f.guide = value;
    else if (key == "guideAt") guideAt = value;
  }
  if (!parseGuide(guideAt, f)) {
    why = f.name + ": one start-end pair per guide character";
    return false;
  }
  if (file.empty() || (dump != "raw" && dump != "micrtxt")) {
    why = f.name + ": needs file= and dump=raw or dump=micrtxt";
    return false;
  }
  if (!loadDump(dir + "/" + file, dump == "raw" ? DumpKind::Raw : DumpKind::MicrTxt, f)) {
    why = f.name + ": cannot read " + file;
    return false;
  }
  return true;
}

std::vector<std::string> fixturesIn(const std::string& folder) {
  std::vector<std::string> out;
  if (DIR* d = opendir(folder.c_str())) {
    while (const dirent* e = readdir(d)) {
      const std::string n = e->d_name;
      if (n.size() > 4 && n.compare(n.size() - 4, 4, ".cap") == 0) out.push_back(folder + "/" + n);
    }
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

void install(Fixture& f) {
  MyMICR.enabled = 1;
  MyMICR.headPresent = 1;
  MyMICR.samples = f.bytes.empty() ? nullptr : f.bytes.data();
  MyMICR.nSamples = f.bytes.size();
  MyMICR.reverse = f.reverse ? 1 : 0;
  MyMICR.samplesPer3Px = static_cast<uint16_t>(f.ratio);
  MyMICR.refOffset = static_cast<int16_t>(f.ref);
  MyAcq.planesPerLine = static_cast<uint8_t>(f.planes);
  MyOcr.currentFont = static_cast<int16_t>(f.font);
}

}  // namespace pvk::magreplay
